#include "mail/imap/ImapParts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail/imap/FolderName.h"
#include "platform/Text.h"

namespace mailio::imap {

namespace {

bool EqualsNoCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

std::string DecodedLevel(const std::string& raw) {
  if (std::optional<std::string> utf8 = DecodeModifiedUtf7(raw)) return *utf8;
  return raw;
}

const char* ParamValue(const mailimap_body_fld_param* params, const char* name) {
  if (!params || !params->pa_list) return nullptr;
  for (clistiter* it = clist_begin(params->pa_list); it; it = clist_next(it)) {
    const auto* p = static_cast<const mailimap_single_body_fld_param*>(clist_content(it));
    if (p->pa_name && p->pa_value && EqualsNoCase(p->pa_name, name)) return p->pa_value;
  }
  return nullptr;
}

void AddPartName(const mailimap_body_fields* fields, const mailimap_body_ext_1part* ext,
                 std::vector<std::string>* names) {
  const char* name = nullptr;
  if (ext && ext->bd_disposition) name = ParamValue(ext->bd_disposition->dsp_attributes, "filename");
  if (!name && fields) name = ParamValue(fields->bd_parameter, "name");
  if (name && *name) names->emplace_back(name);
}

std::string FormatDate(const mailimap_date_time* dt) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (!dt || dt->dt_month < 1 || dt->dt_month > 12) return {};
  char text[40];
  const int zone = dt->dt_zone;
  std::snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d %c%04d", dt->dt_day, kMonths[dt->dt_month - 1],
                dt->dt_year, dt->dt_hour, dt->dt_min, dt->dt_sec, zone < 0 ? '-' : '+', std::abs(zone));
  return text;
}

void AddFlags(const mailimap_msg_att_dynamic* dyn, std::vector<std::string>* flags) {
  if (!dyn || !dyn->att_list) return;
  for (clistiter* it = clist_begin(dyn->att_list); it; it = clist_next(it)) {
    const auto* fetch = static_cast<const mailimap_flag_fetch*>(clist_content(it));
    if (fetch->fl_type != MAILIMAP_FLAG_FETCH_OTHER || !fetch->fl_flag) continue;  // \Recent left out
    const mailimap_flag* flag = fetch->fl_flag;
    switch (flag->fl_type) {
      case MAILIMAP_FLAG_ANSWERED: flags->push_back("\\Answered"); break;
      case MAILIMAP_FLAG_FLAGGED: flags->push_back("\\Flagged"); break;
      case MAILIMAP_FLAG_DELETED: flags->push_back("\\Deleted"); break;
      case MAILIMAP_FLAG_SEEN: flags->push_back("\\Seen"); break;
      case MAILIMAP_FLAG_DRAFT: flags->push_back("\\Draft"); break;
      case MAILIMAP_FLAG_KEYWORD:
        if (flag->fl_data.fl_keyword) flags->push_back(flag->fl_data.fl_keyword);
        break;
      case MAILIMAP_FLAG_EXTENSION:
        if (flag->fl_data.fl_extension) flags->push_back(std::string("\\") + flag->fl_data.fl_extension);
        break;
      default: break;
    }
  }
}

void AddStatic(const mailimap_msg_att_static* st, FetchedMessage* out) {
  switch (st->att_type) {
    case MAILIMAP_MSG_ATT_UID: out->nUid = st->att_data.att_uid; break;
    case MAILIMAP_MSG_ATT_RFC822_SIZE: out->nSize = st->att_data.att_rfc822_size; break;
    case MAILIMAP_MSG_ATT_INTERNALDATE: out->strInternalDate = FormatDate(st->att_data.att_internal_date); break;
    case MAILIMAP_MSG_ATT_BODYSTRUCTURE:
      CollectAttachmentNames(st->att_data.att_bodystructure, &out->attachmentNames);
      break;
    case MAILIMAP_MSG_ATT_BODY_SECTION: {
      const mailimap_msg_att_body_section* section = st->att_data.att_body_section;
      if (!section) break;
      std::string bytes = section->sec_body_part ? std::string(section->sec_body_part, section->sec_length)
                                                 : std::string();
      // BODY[] names no section; BODY[HEADER.FIELDS (...)] names one.
      if (section->sec_section && section->sec_section->sec_spec) {
        out->strHeaderFields = std::move(bytes);
      } else {
        out->bytes = std::move(bytes);
      }
      break;
    }
    default: break;
  }
}

void AddGmail(const mailimap_extension_data* ext, FetchedMessage* out) {
  if (!ext->ext_data) return;
  if (ext->ext_extension == &mailimap_extension_xgmmsgid) {
    out->nGmailMessageId = *static_cast<const uint64_t*>(ext->ext_data);
  } else if (ext->ext_extension == &mailimap_extension_xgmlabels) {
    const auto* labels = static_cast<const mailimap_msg_att_xgmlabels*>(ext->ext_data);
    for (clistiter* it = labels->att_labels ? clist_begin(labels->att_labels) : nullptr; it; it = clist_next(it)) {
      out->gmailLabels.emplace_back(static_cast<const char*>(clist_content(it)));
    }
  }
}

bool SafeFieldName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c <= 0x20 || c >= 0x7f || std::strchr("()\"{}[]\\:", c)) return false;
  }
  return true;
}

}  // namespace

FolderInfo FolderFromList(const mailimap_mailbox_list* entry) {
  FolderInfo folder;
  folder.strServerName = entry->mb_name ? entry->mb_name : "";
  folder.delimiter = entry->mb_delimiter;
  if (const mailimap_mbx_list_flags* flags = entry->mb_flag) {
    if (flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG && flags->mbf_sflag == MAILIMAP_MBX_LIST_SFLAG_NOSELECT) {
      folder.bSelectable = false;
    }
    for (clistiter* it = flags->mbf_oflags ? clist_begin(flags->mbf_oflags) : nullptr; it; it = clist_next(it)) {
      const auto* oflag = static_cast<const mailimap_mbx_list_oflag*>(clist_content(it));
      if (oflag->of_type != MAILIMAP_MBX_LIST_OFLAG_FLAG_EXT || !oflag->of_flag_ext) continue;
      const char* name = oflag->of_flag_ext[0] == '\\' ? oflag->of_flag_ext + 1 : oflag->of_flag_ext;
      if (EqualsNoCase(name, "NonExistent") || EqualsNoCase(name, "Noselect")) {
        folder.bSelectable = false;
      } else {
        for (const char* use : {"All", "Archive", "Drafts", "Flagged", "Junk", "Sent", "Trash", "Important"}) {
          if (EqualsNoCase(name, use)) folder.specialUse.push_back(std::string("\\") + use);
        }
      }
    }
  }
  if (EqualsNoCase(folder.strServerName.c_str(), "INBOX")) {
    folder.levels = {"INBOX"};
    return folder;
  }
  size_t start = 0;
  const std::string& raw = folder.strServerName;
  while (true) {
    const size_t end = folder.delimiter ? raw.find(folder.delimiter, start) : std::string::npos;
    folder.levels.push_back(DecodedLevel(raw.substr(start, end == std::string::npos ? end : end - start)));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return folder;
}

mailimap_fetch_type* MakeFetchType(const FetchRequest& request, std::string* error) {
  for (const std::string& field : request.headerFields) {
    if (!SafeFieldName(field)) {
      *error = "a header field name that cannot be asked for: " + field;
      return nullptr;
    }
  }
  mailimap_fetch_type* type = mailimap_fetch_type_new_fetch_att_list_empty();
  mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_uid());
  if (request.bFlags) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_flags());
  if (request.bSize) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_rfc822_size());
  if (request.bInternalDate) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_internaldate());
  if (request.bStructure) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_bodystructure());
  if (!request.headerFields.empty()) {
    clist* names = clist_new();
    for (const std::string& field : request.headerFields) clist_append(names, strdup(field.c_str()));
    mailimap_section* section = mailimap_section_new_header_fields(mailimap_header_list_new(names));
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(section));
  }
  if (request.bGmailId) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_xgmmsgid());
  if (request.bGmailLabels) mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_xgmlabels());
  if (request.bWholeMessage) {
    mailimap_fetch_type_new_fetch_att_list_add(type, mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
  }
  return type;
}

FetchedMessage MessageFromFetch(const mailimap_msg_att* att) {
  FetchedMessage out;
  for (clistiter* it = clist_begin(att->att_list); it; it = clist_next(it)) {
    const auto* item = static_cast<const mailimap_msg_att_item*>(clist_content(it));
    if (item->att_type == MAILIMAP_MSG_ATT_ITEM_DYNAMIC) {
      AddFlags(item->att_data.att_dyn, &out.flags);
    } else if (item->att_type == MAILIMAP_MSG_ATT_ITEM_STATIC && item->att_data.att_static) {
      AddStatic(item->att_data.att_static, &out);
    } else if (item->att_type == MAILIMAP_MSG_ATT_ITEM_EXTENSION && item->att_data.att_extension_data) {
      AddGmail(item->att_data.att_extension_data, &out);
    }
  }
  return out;
}

void CollectAttachmentNames(const mailimap_body* body, std::vector<std::string>* names) {
  if (!body) return;
  if (body->bd_type == MAILIMAP_BODY_MPART) {
    const mailimap_body_type_mpart* mpart = body->bd_data.bd_body_mpart;
    if (!mpart || !mpart->bd_list) return;
    for (clistiter* it = clist_begin(mpart->bd_list); it; it = clist_next(it)) {
      CollectAttachmentNames(static_cast<const mailimap_body*>(clist_content(it)), names);
    }
    return;
  }
  const mailimap_body_type_1part* part = body->bd_data.bd_body_1part;
  if (!part) return;
  switch (part->bd_type) {
    case MAILIMAP_BODY_TYPE_1PART_BASIC:
      if (part->bd_data.bd_type_basic) AddPartName(part->bd_data.bd_type_basic->bd_fields, part->bd_ext_1part, names);
      break;
    case MAILIMAP_BODY_TYPE_1PART_TEXT:
      if (part->bd_data.bd_type_text) AddPartName(part->bd_data.bd_type_text->bd_fields, part->bd_ext_1part, names);
      break;
    case MAILIMAP_BODY_TYPE_1PART_MSG:
      if (part->bd_data.bd_type_msg) {
        AddPartName(part->bd_data.bd_type_msg->bd_fields, part->bd_ext_1part, names);
        CollectAttachmentNames(part->bd_data.bd_type_msg->bd_body, names);
      }
      break;
    default: break;
  }
}

}  // namespace mailio::imap
