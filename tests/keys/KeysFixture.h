// Databases and run settings for the key tests.
#pragma once

#include <string>

#include "engine/DuplicateKeys.h"
#include "tests/notes/NoteDbFixture.h"

namespace keystest {

constexpr char16_t US = u'\u001F';  // ends a part
constexpr char16_t RS = u'\u001E';  // ends a kind prefix or an attachment name

// A document note with the given items (nsf-json item objects, comma-joined).
inline std::string Note(NOTEID id, const std::string& items, const std::string& created = "") {
  return R"({"class":"document","noteId":)" + std::to_string(id) +
         (created.empty() ? "" : R"(,"created":")" + created + "\"") + R"(,"items":[)" + items + "]}";
}

inline std::string Text(const std::string& name, const std::string& value) {
  return R"({"name":")" + name + R"(","type":"text","value":")" + value + "\"}";
}

class KeysTest : public testsupport::NoteDbTest {
protected:
  void UntickAll() {
    m_s.m_bMailSender = m_s.m_bMailReceiver = m_s.m_bMailDateTime = 0;
    m_s.m_bMailSubject = m_s.m_bMailAttachments = m_s.m_bMailBody = 0;
    m_s.m_bContactFullName = m_s.m_bContactFirstName = m_s.m_bContactLastName = 0;
    m_s.m_bContactMiddleName = m_s.m_bContactEmail = m_s.m_bContactPhone = 0;
    m_s.m_bContactCompany = 0;
  }

  std::u16string MailKey(NOTEID id) {
    std::u16string key;
    const LNMailMessage mail = Doc(id);
    m_s.m_hDatabase = m_db.GetDatabaseHandle(1);
    EXPECT_TRUE(BuildMailKey(m_s, mail, key)) << id;
    return key;
  }

  std::u16string ContactKey(NOTEID id) {
    std::u16string key;
    BuildContactKey(m_s, Doc(id), key);
    return key;
  }

  RunSettings m_s;
};

}  // namespace keystest
