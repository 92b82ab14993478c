// Keys per second for typical mail items: sender, recipients, date and
// subject, with and without the body criterion (rich-text bodies rendered to
// HTML, every fifth with a picture written to the private temp folder).
//
// Run: build-dir/bench/bench_keys  (the database and pictures go to a fresh
// folder under TMPDIR, removed at the end).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/DuplicateKeys.h"
#include "tools/nsftool/NsfJson.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMailCount = 1000;

std::string MailJson(int i) {
  const std::string n = std::to_string(i);
  std::string body = R"([{"par":["Hello team,"]},{"par":["Here are the figures for week )" + n +
                     R"(. ",{"text":"Please check","bold":true}," the attached sheet before Friday."]})";
  for (int p = 0; p < 8; ++p)
    body += R"(,{"par":["Line )" + std::to_string(p) +
            R"( of the report: revenue, costs, margins and the outlook for the next quarter."]})";
  body += R"(,{"table":[["Region","Q1","Q2"],["North","10","12"],["South","8","9"]]})";
  if (i % 5 == 0) body += R"(,{"picture":"R0lGODlhAQABAAAAACw=","width":1,"height":1})";
  body += R"(,{"par":["Best regards,"]},{"par":["Ada"]}])";
  return R"({"class":"document","noteId":)" + std::to_string(100 + 4 * i) + R"(,"items":[)"
         R"({"name":"Form","type":"text","value":"Memo"},)"
         R"({"name":"From","type":"text","value":"Ada Example <ada@example.org>"},)"
         R"({"name":"SendTo","type":"textlist","value":["bob@example.org","cy@example.org"]},)"
         R"({"name":"PostedDate","type":"time","value":"2010-03-05T14:07:09"},)"
         R"({"name":"Subject","type":"text","value":"Weekly report )" + n + R"("},)"
         R"({"name":"Body","type":"richtext","value":)" + body + "}]}";
}

// The generated database, opened once for every benchmark.
class Fixture {
public:
  Fixture() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarnwick-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    m_dir = pattern;
    setenv("TMPDIR", m_dir.c_str(), 1);  // pictures land in this folder
    std::string json = R"({"format":"nsf-json","version":1,"notes":[)";
    for (int i = 0; i < kMailCount; ++i) {
      if (i) json += ',';
      json += MailJson(i);
    }
    json += R"js(,{"class":"view","noteId":4,"name":"($All)","select":"all"}]})js";
    nsftool::ImportJson(json, m_dir / "bench.nsf");
    (void)m_settings.m_session.Initialize();
    (void)m_settings.m_session.GetDatabase((m_dir / "bench.nsf").string().c_str(), &m_settings.m_db);
    (void)m_settings.m_db.Open();
    m_settings.m_hDatabase = m_settings.m_db.GetDatabaseHandle(1);
    LNViewFolder all;
    (void)m_settings.m_db.GetViewFolder("($All)", &all);
    (void)all.Open(0, m_settings.m_db);
    for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
      LNDocument doc;
      (void)all[i].GetDocument(&doc);
      (void)doc.Open(0);
      LNMailMessage mail;
      mail = doc;
      m_vecMail.push_back(mail);
    }
  }
  ~Fixture() {
    m_vecMail.clear();
    (void)m_settings.m_db.Close();
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }

  RunSettings m_settings;
  std::vector<LNMailMessage> m_vecMail;

private:
  fs::path m_dir;
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

void RunKeys(benchmark::State& state, bool bBody) {
  Fixture& f = TheFixture();
  RunSettings& s = f.m_settings;
  s.m_bMailSender = s.m_bMailReceiver = s.m_bMailDateTime = s.m_bMailSubject = 1;
  s.m_bMailBody = bBody ? 1 : 0;
  std::size_t i = 0;
  for (auto _ : state) {
    std::string key;  // as a run builds it
    const LNMailMessage& mail = f.m_vecMail[i++ % f.m_vecMail.size()];
    if (BuildMailKeyBytes(s, mail, key)) benchmark::DoNotOptimize(DigestKeyBytes(key));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(bBody ? "keys/s with body" : "keys/s without body");
}

void BM_MailKeysWithoutBody(benchmark::State& state) { RunKeys(state, false); }
void BM_MailKeysWithBody(benchmark::State& state) { RunKeys(state, true); }

void BM_DigestKey(benchmark::State& state) {
  const std::u16string key(static_cast<std::size_t>(state.range(0)), u'k');
  for (auto _ : state) benchmark::DoNotOptimize(DigestKey(key));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_MailKeysWithoutBody);
BENCHMARK(BM_MailKeysWithBody);
BENCHMARK(BM_DigestKey)->Arg(100)->Arg(4000);

BENCHMARK_MAIN();
