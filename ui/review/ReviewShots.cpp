// The review window with sample contents, for tarnwick --render-pages.
#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QTreeView>

#include "ui/review/ReviewDlg.h"
#include "ui/review/ReviewModel.h"
#include "ui/win/Screenshot.h"

namespace {

struct SampleMail {
  const char16_t* subject;
  const char16_t* sender;
  const char16_t* date;
  const char16_t* attachments;
  NOTEID kept;
  std::vector<NOTEID> duplicates;
  std::uint32_t nFolder;
};

report::Report SampleReport() {
  report::DatabaseGroups db{u"/home/anna/Mail/anna.nsf", {u"($Inbox)", u"Projects\\2019", u"($Sent)", u"My Contacts"}, {}};
  const SampleMail mails[] = {
      {u"Quarterly report", u"Ada Example <ada@example.org>", u"2010-03-05T14:07:09", u"report.pdf", 2310, {2314, 2318}, 0},
      {u"Lunch on Friday?", u"Oskar Kowalski <oskar.kowalski@example.org>", u"2019-05-02T12:10:38", u"", 2402, {2406}, 0},
      {u"Release plan #189", u"Nora Brandt <nora.brandt@example.org>", u"2019-06-11T09:30:00", u"plan.xlsx", 2410, {2418, 2422, 2430}, 1},
      {u"Venue for the offsite", u"Dmitri Brandt <dmitri.brandt@example.org>", u"2019-07-01T16:45:12", u"", 2450, {2454}, 1},
      {u"Re: Contract draft", u"Anna Lind <anna@example.org>", u"2020-01-14T08:02:51", u"contract-v3.docx", 2502, {2506}, 2},
  };
  for (const SampleMail& m : mails) {
    report::Group g;
    g.nFolder = m.nFolder;
    g.key = report::MakeKey(u"9E107D9D372BB6826BD81D3542A419D6");
    g.nCompared = 0x2F;  // every field but the body
    g.fields = report::Texts({m.subject, m.sender, u"anna@example.org", m.date,
                              u"Please find the latest figures below.", m.attachments});
    g.kept = {m.kept, 18432, {}};
    for (NOTEID id : m.duplicates) g.duplicates.push_back({id, id % 3 ? 18432u : 9216u, {}});
    db.groups.push_back(g);
  }
  report::Group contact;
  contact.nFolder = 3;
  contact.kind = report::Kind::contact;
  contact.nCompared = 0x7F;
  contact.fields = report::Texts({u"Nora Brandt", u"Nora", u"", u"Brandt", u"nora.brandt@example.org",
                                  u"+49 30 9561094", u"Tarnwick Ltd"});
  contact.kept = {2460, 2048, {}};
  contact.duplicates = {{2464, 2048, {}}, {2468, 2048, {}}};
  db.groups.push_back(contact);
  return report::Report{{db}};
}

// What the side-by-side view shows for the sample's second duplicate: the
// bodies differ, but the body was not compared.
std::vector<report::FieldPair> SamplePairs(const report::Review&, const report::Review::Row&, std::u16string*) {
  return {{u"Subject", u"Quarterly report", u"Quarterly report", true, false},
          {u"Sender", u"Ada Example <ada@example.org>", u"Ada Example <ada@example.org>", true, false},
          {u"Receiver", u"anna@example.org", u"anna@example.org", true, false},
          {u"Date", u"2010-03-05T14:07:09", u"2010-03-05T14:07:09", true, false},
          {u"Body", u"Please find the latest figures below.", u"Please find the latest figures below. (Draft)",
           false, true},
          {u"Attachments", u"report.pdf", u"report.pdf", true, false},
          {u"Size", u"18432 bytes", u"18432 bytes", false, false}};
}

bool Save(QWidget* w, const QString& dir, const QString& name) {
  win::SettleEvents(250);
  return win::SaveScreenshot(w->grab(), dir, name);
}

}  // namespace

bool ReviewDlg::RenderScreenshots(QWidget* parent, const QString& dir) {
  report::Review review(SampleReport());
  ReviewDlg window(review, parent, SamplePairs);
  ReviewModel* model = window.Model();
  model->setData(model->index(4, ReviewModel::kRemove), Qt::Unchecked, Qt::CheckStateRole);
  window.Rows()->setCurrentIndex(model->index(2, ReviewModel::kSubject));
  window.show();
  bool ok = Save(&window, dir, QStringLiteral("134-review-window.png"));
  window.m_pOrder->setCurrentIndex(2);
  window.m_pFolder->setCurrentIndex(2);
  ok &= Save(&window, dir, QStringLiteral("134-review-window-by-sender.png"));
  window.hide();
  return ok;
}
