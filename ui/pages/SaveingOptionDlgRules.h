// What the criteria and action page decides, apart from its widgets: the
// row texts of its two criteria lists and of the action combo, and the
// checks and run-settings writes of Next, in their fixed order.
//
// User-interface thread only (it writes the run settings).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/RunSettings.h"

namespace criteriarules {

inline constexpr const char16_t* kNoSavingPath = u"Please browse saving location to continue.";
inline constexpr const char16_t* kNoSubFolder = u"Please enter Folder name of sub folder";
inline constexpr const char16_t* kNoMailCriteria =
    u"please select at least one option for comparison criteria for duplicate items";
inline constexpr const char16_t* kNoContactCriteria =
    u"please select at least one option for comparison criteria for duplicate items in contacts";

inline constexpr std::array<const char16_t*, 6> kMailRows = {
    u"Subject", u"Sender Name/Address", u"Receiver Name/Address",
    u"Date and Time", u"Body", u"Attachments"};
inline constexpr std::array<const char16_t*, 7> kContactRows = {
    u"First Name", u"Middle Name", u"Last Name", u"FullName",
    u"Email Address", u"Primary Phone Number", u"Company Name"};
inline constexpr std::array<const char16_t*, 4> kActions = {
    u"Delete Permanently", u"Move to Trash", u"Move to sub folder", u"Copy to sub folder"};

// The actions that need a sub folder name.
[[nodiscard]] inline bool ActionNeedsFolder(int nAction) { return nAction == 2 || nAction == 3; }

// The page's controls as Next reads them.
struct CriteriaChoices {
  bool bNewFiles = true;
  std::u16string strSavingPath;
  int nAction = 0;
  std::u16string strSubFolder;
  bool bMailCriteria = true;
  std::vector<bool> vecMailRows;     // check marks, in the list's order
  bool bContactCriteria = true;
  std::vector<bool> vecContactRows;  // check marks, in the list's order
};

// Runs Next's steps in order and returns the message of the first one that
// refuses; what the steps before it wrote stays written. Texts are only
// tested for being empty. A switched-off group leaves its bytes alone.
[[nodiscard]] std::optional<std::u16string> ApplyCriteriaNext(RunSettings& settings,
                                                              const CriteriaChoices& choices);

}  // namespace criteriarules
