// nsftool sample: a mail database that looks lived in - memos received and
// sent, drafts, rich-text bodies with pictures, attachments, contacts,
// nested folders and the special views - with a known share of exact
// duplicates. Deterministic for a given seed.
#include "tools/nsftool/Sample.h"

#include <chrono>
#include <iostream>
#include <random>

#include "lnapi/LNNotes.h"
#include "lnapi/RichText.h"
#include "lnapi/store/ItemCodec.h"
#include "lnapi/store/Store.h"
#include "tools/nsftool/NewFile.h"
#include "tools/nsftool/NsfJson.h"

namespace nsftool {

namespace store = lnapi::store;
namespace rt = lnapi::richtext;

namespace {

const char* const kFirst[] = {"Ada", "Bob", "Cyra", "Dmitri", "Elif", "Farid", "Greta", "Hiro",
                              "Ines", "Jonas", "Kemal", "Lena", "Mateo", "Nora", "Oskar", "Priya"};
const char* const kLast[] = {"Example", "Lindqvist", "Okafor", "Brandt", "Moreau", "Tanaka",
                             "Novak", "Haddad", "Silva", "Kowalski", "Fischer", "Ruiz"};
const char* const kCompanies[] = {"Tarnwick Ltd", "Northwind", "Blue Harbour", "Kestrel Labs"};
const char* const kTopics[] = {"Quarterly report", "Budget review", "Team offsite", "Release plan",
                               "Invoice", "Travel booking", "Meeting notes", "Contract draft",
                               "Customer feedback", "Server maintenance", "Lunch on Friday",
                               "Hiring update"};
const char* const kPhrases[] = {
    "Please find the latest figures below.", "Can we move this to next week?",
    "Thanks for the quick reply.", "I have added my comments in the attached file.",
    "Let me know if anything is missing.", "The numbers look better than last quarter.",
    "We still need a decision on the venue.", "Reminder: the deadline is on Monday."};
const char* const kFolderNames[] = {"Projects", "Projects\\2019", "Projects\\2020", "Archive",
                                    "Archive\\Old", "Travel", "Customers", "Customers\\North",
                                    "Receipts", "Team"};

class Generator {
public:
  explicit Generator(std::uint32_t seed) : m_random(seed) {}
  std::uint32_t Below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(m_random() % n) : 0; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&list)[N]) {
    return list[Below(N)];
  }
  bool Percent(std::uint32_t p) { return Below(100) < p; }

private:
  std::mt19937 m_random;
};

std::string Person(Generator& g, std::string* address = nullptr) {
  const std::string first = g.Pick(kFirst), last = g.Pick(kLast);
  std::string mail = first + "." + last + "@example.org";
  for (char& c : mail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (address) *address = mail;
  return first + " " + last + " <" + mail + ">";
}

std::string Time(Generator& g) {
  store::TimeValue t{2015 + static_cast<int>(g.Below(10)), 1 + static_cast<int>(g.Below(12)),
                     1 + static_cast<int>(g.Below(28)), static_cast<int>(g.Below(24)),
                     static_cast<int>(g.Below(60)), static_cast<int>(g.Below(60)), 0};
  return store::EncodeTime(t);
}

// A 1x1 GIF whose colour varies, so pictures differ between documents.
std::string Gif(Generator& g) {
  // Sized from the literals themselves (less the closing NUL), so a byte
  // count can never run past them.
  static constexpr char kHead[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00";
  static constexpr char kTail[] = "\xff\xff\xff\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";
  std::string gif(kHead, sizeof kHead - 1);
  for (int i = 0; i < 3; ++i) gif += static_cast<char>(g.Below(256));
  gif.append(kTail, sizeof kTail - 1);
  return gif;
}

std::string Body(Generator& g, bool picture, const std::string& attachment) {
  std::vector<rt::Record> records;
  for (std::uint32_t i = 0, n = 1 + g.Below(4); i < n; ++i) {
    rt::Record par;
    par.vecRuns.push_back({g.Pick(kPhrases)});
    if (g.Percent(30)) par.vecRuns.push_back({std::string(" ") + g.Pick(kTopics), true});
    records.push_back(std::move(par));
  }
  if (picture) {
    rt::Record pic;
    pic.kind = rt::RecordKind::picture;
    pic.gif = Gif(g);
    pic.nWidth = pic.nHeight = 1;
    records.push_back(std::move(pic));
  }
  if (g.Percent(10)) {
    rt::Record table;
    table.kind = rt::RecordKind::table;
    table.vecRows = {{"Item", "Amount"}, {g.Pick(kTopics), std::to_string(g.Below(10000))}};
    records.push_back(std::move(table));
  }
  if (!attachment.empty()) {
    rt::Record icon;
    icon.kind = rt::RecordKind::attachmentIcon;
    icon.strFileName = attachment;
    records.push_back(std::move(icon));
  }
  return rt::Encode(records);
}

struct Doc {
  std::vector<store::StoredItem> items;
  std::string strCreated;
  int nFolder = -1;  // index into the folder list, or -1
};

Doc Memo(Generator& g, const std::string& owner, std::size_t folders, bool& sent, bool& draft) {
  Doc d;
  sent = g.Percent(20);
  draft = !sent && g.Percent(4);
  const std::string from = sent || draft ? owner : Person(g);
  std::vector<std::string> to;
  for (std::uint32_t i = 0, n = 1 + g.Below(3); i < n; ++i) to.push_back(Person(g));
  // Each draw is a statement of its own: the operands of + may be evaluated in
  // either order, and one seed must give one database whatever the compiler.
  const std::string number = g.Percent(50) ? "" : " #" + std::to_string(g.Below(500));
  const std::string subject = g.Pick(kTopics) + number;
  const bool picture = g.Below(3) == 0;
  std::string attachment;
  if (g.Percent(15)) {
    const std::string count = std::to_string(g.Below(99));
    attachment = std::string(g.Pick(kTopics)).substr(0, 6) + count + ".pdf";
  }
  d.items.push_back({"Form", TYPE_TEXT, "Memo"});
  d.items.push_back({"From", TYPE_TEXT, from});
  d.items.push_back({"SendTo", TYPE_TEXT_LIST, store::EncodeTextList(to)});
  if (g.Percent(25)) d.items.push_back({"CopyTo", TYPE_TEXT_LIST, store::EncodeTextList({Person(g)})});
  d.items.push_back({"Subject", TYPE_TEXT, subject});
  const std::string posted = Time(g);
  if (!draft) d.items.push_back({"PostedDate", TYPE_TIME, posted});
  d.items.push_back({"Body", TYPE_COMPOSITE, Body(g, picture, attachment)});
  if (!attachment.empty()) {
    d.items.push_back({"$FILE", TYPE_OBJECT,
                       store::EncodeAttachment({attachment, GeneratedBytes(200 + g.Below(4000))})});
  }
  d.strCreated = store::FormatTime(*store::DecodeTime(posted));
  // Received mail lands in the inbox or a user folder; sent mail and drafts
  // are found through their views.
  if (!sent && !draft) d.nFolder = g.Percent(60) || folders < 2 ? 0 : 1 + static_cast<int>(g.Below(static_cast<std::uint32_t>(folders - 1)));
  return d;
}

Doc Contact(Generator& g) {
  Doc d;
  std::string mail;
  const std::string full = Person(g, &mail);
  const std::string first = full.substr(0, full.find(' '));
  const std::string last = full.substr(first.size() + 1, full.find(' ', first.size() + 1) - first.size() - 1);
  d.items = {{"Form", TYPE_TEXT, "Person"},
             {"FullNameInput", TYPE_TEXT, first + " " + last},
             {"FirstName", TYPE_TEXT, first},
             {"LastName", TYPE_TEXT, last},
             {"MailAddress", TYPE_TEXT, mail},
             {"primaryPhoneNumber", TYPE_TEXT, "+49 30 " + std::to_string(1000000 + g.Below(8999999))},
             {"CompanyName", TYPE_TEXT, g.Pick(kCompanies)}};
  if (g.Percent(30)) d.items.push_back({"MiddleInitial", TYPE_TEXT, std::string(1, static_cast<char>('A' + g.Below(26)))});
  d.strCreated = store::FormatTime(*store::DecodeTime(Time(g)));
  return d;
}

}  // namespace

namespace {

struct Placed {
  NOTEID dwId = 0;
  int nFolder = -1;
  bool bSent = false, bDraft = false;
  std::string strCreated;
};

class SampleWriter {
public:
  SampleWriter(store::Store& db, const SampleOptions& options, SampleCounts& counts)
      : m_db(db), m_options(options), m_counts(counts), m_random(options.nSeed) {}

  void Run() {
    m_vecFolderIds.push_back(Design(store::NoteClass::folder, "($Inbox)", store::SelectKind::none, {}));
    for (std::uint32_t i = 0; i < m_options.nFolders; ++i) {
      const std::string name = i < std::size(kFolderNames) ? kFolderNames[i] : "Folder " + std::to_string(i + 1);
      m_vecFolderIds.push_back(Design(store::NoteClass::folder, name, store::SelectKind::none, {}));
    }
    m_counts.nFolders = m_vecFolderIds.size();
    const NOTEID sentView = Design(store::NoteClass::view, "($Sent)", store::SelectKind::entries, {});
    const NOTEID draftView = Design(store::NoteClass::view, "($Drafts)", store::SelectKind::entries, {});
    Design(store::NoteClass::view, "($All)", store::SelectKind::all, {});
    Design(store::NoteClass::view, "My Contacts", store::SelectKind::form, {"Person"});
    Design(store::NoteClass::view, "($People)", store::SelectKind::form, {"Person"});
    Design(store::NoteClass::view, "($SoftDeletions)", store::SelectKind::entries, {});
    Design(store::NoteClass::view, "($Calendar)", store::SelectKind::form, {"Appointment"}, 3);
    m_counts.nViews = 7;

    std::vector<std::vector<NOTEID>> entries(m_vecFolderIds.size());
    std::vector<NOTEID> sent, drafts;
    std::vector<Placed> memos;
    memos.reserve(m_options.nDocs);
    const std::string owner = "Ada Example <ada.example@example.org>";
    for (std::uint32_t i = 0; i < m_options.nDocs; ++i) {
      Placed placed;
      if (!memos.empty() && m_random.Percent(m_options.nDupPercent)) {
        // An exact copy of an earlier memo, mostly filed beside it.
        const Placed& original = memos[m_random.Below(static_cast<std::uint32_t>(memos.size()))];
        placed = original;
        if (placed.nFolder >= 0 && m_random.Percent(30))
          placed.nFolder = static_cast<int>(m_random.Below(static_cast<std::uint32_t>(m_vecFolderIds.size())));
        placed.dwId = Insert(m_db.GetItems(original.dwId), original.strCreated);
        ++m_counts.nDuplicates;
      } else {
        Doc doc = Memo(m_random, owner, m_vecFolderIds.size(), placed.bSent, placed.bDraft);
        placed.nFolder = doc.nFolder;
        placed.strCreated = doc.strCreated;
        placed.dwId = Insert(doc.items, doc.strCreated);
      }
      if (placed.nFolder >= 0) entries[static_cast<std::size_t>(placed.nFolder)].push_back(placed.dwId);
      if (placed.bSent) sent.push_back(placed.dwId);
      if (placed.bDraft) drafts.push_back(placed.dwId);
      memos.push_back(std::move(placed));
      ++m_counts.nMemos;
    }
    std::vector<Placed> contacts;
    for (std::uint32_t i = 0, n = std::max<std::uint32_t>(10, m_options.nDocs / 20); i < n; ++i) {
      Placed placed;
      if (!contacts.empty() && m_random.Percent(m_options.nDupPercent)) {
        placed = contacts[m_random.Below(static_cast<std::uint32_t>(contacts.size()))];
        placed.dwId = Insert(m_db.GetItems(placed.dwId), placed.strCreated);
        ++m_counts.nDuplicates;
      } else {
        Doc doc = Contact(m_random);
        placed.strCreated = doc.strCreated;
        placed.dwId = Insert(doc.items, doc.strCreated);
      }
      contacts.push_back(std::move(placed));
      ++m_counts.nContacts;
    }
    for (std::size_t f = 0; f < entries.size(); ++f) m_db.SetStoredEntries(m_vecFolderIds[f], entries[f]);
    m_db.SetStoredEntries(sentView, sent);
    m_db.SetStoredEntries(draftView, drafts);
  }

private:
  NOTEID Design(store::NoteClass cls, const std::string& name, store::SelectKind select,
                std::vector<std::string> args, int viewType = 0) {
    store::NoteRow row;
    row.dwId = Next();
    row.cls = cls;
    row.strName = name;
    row.select = select;
    row.vecSelectArgs = std::move(args);
    row.nViewType = viewType;
    row.strCreated = "2014-01-01T09:00:00";
    m_db.InsertNote(row, {});
    return row.dwId;
  }

  NOTEID Insert(const std::vector<store::StoredItem>& items, const std::string& created) {
    store::NoteRow row;
    row.dwId = Next();
    row.strCreated = created;
    m_db.InsertNote(row, items);
    for (const auto& item : items) {
      if (item.wType == TYPE_OBJECT) ++m_counts.nAttachments;
      if (item.wType == TYPE_COMPOSITE) m_counts.nPictures += rt::ListPictures(rt::Decode(item.value)).size();
    }
    return row.dwId;
  }

  NOTEID Next() { return m_dwNextId += 4; }

  store::Store& m_db;
  const SampleOptions& m_options;
  SampleCounts& m_counts;
  Generator m_random;
  NOTEID m_dwNextId = 0;
  std::vector<NOTEID> m_vecFolderIds;
};

bool Number(const std::string& text, std::uint32_t max, std::uint32_t& out) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long long v = std::stoull(text);
  if (v > max) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

SampleCounts MakeSample(const std::filesystem::path& db, const SampleOptions& options) {
  SampleCounts counts;
  BuildAtomically(db, options.bReplaceExisting, [&](const std::string& temp) {
    counts = SampleCounts{};
    auto store = store::Store::Create(temp, "Mail - Ada Example", true);
    store->DisableSyncForBuild();
    store->Begin();
    SampleWriter(*store, options, counts).Run();
    store->Commit();
  });
  return counts;
}

int SampleCommand(const std::vector<std::string>& args) {
  SampleOptions options;
  std::string path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&](std::uint32_t max, std::uint32_t& out) {
      if (i + 1 >= args.size() || !Number(args[i + 1], max, out)) {
        std::cerr << "nsftool: " << a << " needs a whole number from 0 to " << max << "\n";
        return false;
      }
      ++i;
      return true;
    };
    if (a == "--docs") {
      if (!value(10000000, options.nDocs)) return 2;
    } else if (a == "--seed") {
      if (!value(0xFFFFFFFFu, options.nSeed)) return 2;
    } else if (a == "--folders") {
      if (!value(1000, options.nFolders)) return 2;
    } else if (a == "--dup-percent") {
      if (!value(100, options.nDupPercent)) return 2;
    } else if (a == "--force") {
      options.bReplaceExisting = true;
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "nsftool: unknown option " << a << "\n";
      return 2;
    } else if (path.empty()) {
      path = a;
    } else {
      std::cerr << "nsftool: sample takes one database path\n";
      return 2;
    }
  }
  if (path.empty()) {
    std::cerr << "nsftool: sample needs DB.nsf\n";
    return 2;
  }
  try {
    const auto started = std::chrono::steady_clock::now();
    const SampleCounts c = MakeSample(path, options);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::cout << "Wrote " << path << ": " << c.nMemos + c.nContacts << " documents (" << c.nMemos
              << " memos, " << c.nContacts << " contacts, " << c.nDuplicates << " exact duplicates), "
              << c.nFolders << " folders, " << c.nViews << " views, " << c.nPictures << " pictures, "
              << c.nAttachments << " attachments in " << ms << " ms\n";
  } catch (const TargetExists& e) {
    std::cerr << "nsftool: " << e.what() << "\n";
    return 1;
  } catch (LNSTATUS status) {
    std::cerr << "nsftool: " << LNGetErrorMessageText(status) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace nsftool
