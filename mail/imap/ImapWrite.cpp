// The commands of ImapSession that change an account.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mail/imap/ImapParts.h"

namespace mailio::imap {

namespace {

// A keyword must be an atom: nothing that could end or split the command.
bool SafeKeyword(const std::string& flag) {
  if (flag.empty()) return false;
  for (unsigned char c : flag) {
    if (c <= 0x20 || c >= 0x7f || std::strchr("(){%*\"\\]", c)) return false;
  }
  return true;
}

// flags as libetpan's list; nullptr with *error for a flag that cannot be
// sent (\Recent, which only the server sets, or no atom).
mailimap_flag_list* FlagList(const std::vector<std::string>& flags, std::string* error) {
  mailimap_flag_list* list = mailimap_flag_list_new_empty();
  for (const std::string& flag : flags) {
    mailimap_flag* f = nullptr;
    if (strcasecmp(flag.c_str(), "\\Seen") == 0) f = mailimap_flag_new_seen();
    else if (strcasecmp(flag.c_str(), "\\Answered") == 0) f = mailimap_flag_new_answered();
    else if (strcasecmp(flag.c_str(), "\\Flagged") == 0) f = mailimap_flag_new_flagged();
    else if (strcasecmp(flag.c_str(), "\\Deleted") == 0) f = mailimap_flag_new_deleted();
    else if (strcasecmp(flag.c_str(), "\\Draft") == 0) f = mailimap_flag_new_draft();
    else if (flag[0] != '\\' && SafeKeyword(flag)) f = mailimap_flag_new_flag_keyword(strdup(flag.c_str()));
    if (!f) {
      mailimap_flag_list_free(list);
      *error = "a flag that cannot be set: " + flag;
      return nullptr;
    }
    mailimap_flag_list_add(list, f);
  }
  return list;
}

mailimap_set* SetOf(const UidSet& uids) {
  mailimap_set* set = mailimap_set_new_empty();
  for (const UidRange& range : uids.ranges) mailimap_set_add_interval(set, range.first, range.last);
  return set;
}

// "04-Jan-2021 10:00:00 +0000" as libetpan's date; nullptr when it is not one.
mailimap_date_time* ParseInternalDate(const std::string& text) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int day = 0, year = 0, hour = 0, minute = 0, second = 0, zone = 0;
  char month[4] = {};
  char sign = 0;
  if (std::sscanf(text.c_str(), "%2d-%3s-%4d %2d:%2d:%2d %c%4d", &day, month, &year, &hour, &minute, &second, &sign,
                  &zone) != 8 ||
      (sign != '+' && sign != '-')) {
    return nullptr;
  }
  for (int m = 0; m < 12; ++m) {
    if (std::strcmp(month, kMonths[m]) == 0) {
      return mailimap_date_time_new(day, m + 1, year, hour, minute, second, sign == '-' ? -zone : zone);
    }
  }
  return nullptr;
}

// The pairs of a COPYUID answer: source and destination sets, in order.
void Pairs(const mailimap_set* source, const mailimap_set* dest, std::vector<std::pair<uint32_t, uint32_t>>* out) {
  std::vector<uint32_t> from;
  std::vector<uint32_t> to;
  for (const auto& [set, list] : {std::pair{source, &from}, std::pair{dest, &to}}) {
    if (!set || !set->set_list) continue;
    for (clistiter* it = clist_begin(set->set_list); it; it = clist_next(it)) {
      const auto* item = static_cast<const mailimap_set_item*>(clist_content(it));
      for (uint32_t uid = item->set_first; uid != 0 && uid <= item->set_last; ++uid) {
        list->push_back(uid);
        if (uid == item->set_last) break;
      }
    }
  }
  if (from.size() != to.size()) return;  // a server that miscounts says nothing reliable
  for (size_t i = 0; i < from.size(); ++i) out->emplace_back(from[i], to[i]);
}

}  // namespace

bool ImapSession::Select(const std::string& strServerName, FolderStatus* status, std::string* error) {
  return OpenFolder(strServerName, false, status, error);
}

bool ImapSession::Store(const UidSet& uids, const std::vector<std::string>& flags, bool bAdd, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  if (uids.ranges.empty() || flags.empty()) return true;
  mailimap_flag_list* list = FlagList(flags, error);
  if (!list) return false;
  mailimap_store_att_flags* att = bAdd ? mailimap_store_att_flags_new_add_flags_silent(list)
                                       : mailimap_store_att_flags_new_remove_flags_silent(list);
  mailimap_set* set = SetOf(uids);
  const int r = mailimap_uid_store(m_impl->session, set, att);
  mailimap_set_free(set);
  mailimap_store_att_flags_free(att);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "UID STORE");
    return false;
  }
  return true;
}

bool ImapSession::AddFlags(const UidSet& uids, const std::vector<std::string>& flags, std::string* error) {
  return Store(uids, flags, true, error);
}

bool ImapSession::RemoveFlags(const UidSet& uids, const std::vector<std::string>& flags, std::string* error) {
  return Store(uids, flags, false, error);
}

bool ImapSession::UidExpunge(const UidSet& uids, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  if (!HasCapability("UIDPLUS")) {
    *error = "the server does not offer UIDPLUS";
    return false;
  }
  if (uids.ranges.empty()) return true;
  mailimap_set* set = SetOf(uids);
  const int r = mailimap_uid_expunge(m_impl->session, set);
  mailimap_set_free(set);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "UID EXPUNGE");
    return false;
  }
  return true;
}

bool ImapSession::ExpungeOnly(const UidSet& uids, std::string* error) {
  if (HasCapability("UIDPLUS")) return UidExpunge(uids, error);
  if (uids.ranges.empty()) return true;
  std::vector<uint32_t> deleted;
  if (!SearchUids(true, &deleted, error)) return false;
  for (uint32_t uid : deleted) {
    const bool bOurs = std::any_of(uids.ranges.begin(), uids.ranges.end(),
                                   [uid](const UidRange& r) { return uid >= r.first && uid <= r.last; });
    if (!bOurs) {
      *error = kOtherMessagesMarkedDeleted;
      return false;
    }
  }
  const int r = mailimap_expunge(m_impl->session);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "EXPUNGE");
    return false;
  }
  return true;
}

bool ImapSession::Transfer(const UidSet& uids, const std::string& strTarget, bool bMove,
                           std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  if (bMove && !HasCapability("MOVE")) {
    *error = "the server does not offer MOVE";
    return false;
  }
  if (uids.ranges.empty()) return true;
  mailimap_set* set = SetOf(uids);
  uint32_t uidValidity = 0;
  mailimap_set* source = nullptr;
  mailimap_set* dest = nullptr;
  const int r = bMove ? mailimap_uidplus_uid_move(m_impl->session, set, strTarget.c_str(), &uidValidity, &source, &dest)
                      : mailimap_uidplus_uid_copy(m_impl->session, set, strTarget.c_str(), &uidValidity, &source, &dest);
  mailimap_set_free(set);
  if (r == MAILIMAP_NO_ERROR && newUids) Pairs(source, dest, newUids);
  if (source) mailimap_set_free(source);
  if (dest) mailimap_set_free(dest);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, bMove ? "UID MOVE" : "UID COPY");
    return false;
  }
  return true;
}

bool ImapSession::UidMove(const UidSet& uids, const std::string& strTarget,
                          std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error) {
  return Transfer(uids, strTarget, true, newUids, error);
}

bool ImapSession::UidCopy(const UidSet& uids, const std::string& strTarget,
                          std::vector<std::pair<uint32_t, uint32_t>>* newUids, std::string* error) {
  return Transfer(uids, strTarget, false, newUids, error);
}

bool ImapSession::Create(const std::string& strServerName, std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  const int r = mailimap_create(m_impl->session, strServerName.c_str());
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "CREATE");
    return false;
  }
  return true;
}

bool ImapSession::Append(const std::string& strServerName, const std::string& bytes,
                         const std::vector<std::string>& flags, const std::string& strInternalDate, uint32_t* newUid,
                         std::string* error) {
  if (!IsConnected()) {
    *error = "not connected";
    return false;
  }
  mailimap_date_time* date = nullptr;
  if (!strInternalDate.empty() && !(date = ParseInternalDate(strInternalDate))) {
    *error = "not an INTERNALDATE: " + strInternalDate;
    return false;
  }
  mailimap_flag_list* list = FlagList(flags, error);
  if (!list) {
    if (date) mailimap_date_time_free(date);
    return false;
  }
  uint32_t uidValidity = 0;
  uint32_t uid = 0;
  const int r = mailimap_uidplus_append(m_impl->session, strServerName.c_str(), list, date, bytes.data(), bytes.size(),
                                        &uidValidity, &uid);
  mailimap_flag_list_free(list);
  if (date) mailimap_date_time_free(date);
  if (r != MAILIMAP_NO_ERROR) {
    *error = Failure(r, "APPEND");
    return false;
  }
  *newUid = uid;
  return true;
}

}  // namespace mailio::imap
