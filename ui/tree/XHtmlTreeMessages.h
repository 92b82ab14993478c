// The notifications the check-box tree sends its parent. They keep the names
// the tree's parents have always registered them under; on this platform
// each one is a Qt signal of CXHtmlTree with exactly that name.
//
// | name                            | when                                     | data                 |
// |---------------------------------|------------------------------------------|----------------------|
// | WM_XHTMLTREE_CHECKBOX_CLICKED   | every SetItemCheck on an enabled item,   | header, check passed |
// |                                 | also when the value did not change       |                      |
// | WM_XHTMLTREE_ITEM_EXPANDED      | the tracked expansion of an item changed | header, 0/1          |
// | WM_XHTMLTREE_DISPLAY_TOOLTIP    | before a tooltip for an item is shown;   | header, suppress out |
// |                                 | setting *pbSuppress keeps it hidden      |                      |
// | WM_XHTMLTREE_INIT_TOOLTIP       | after the tooltip areas were rebuilt     | header with item 0   |
//
// Plain constants; thread-safe.
#pragma once

#include <array>
#include <string_view>

namespace xht {

inline constexpr std::string_view kMsgCheckboxClicked = "WM_XHTMLTREE_CHECKBOX_CLICKED";
inline constexpr std::string_view kMsgItemExpanded = "WM_XHTMLTREE_ITEM_EXPANDED";
inline constexpr std::string_view kMsgDisplayTooltip = "WM_XHTMLTREE_DISPLAY_TOOLTIP";
inline constexpr std::string_view kMsgInitTooltip = "WM_XHTMLTREE_INIT_TOOLTIP";

inline constexpr std::array<std::string_view, 4> kRegisteredMessages = {
    kMsgCheckboxClicked, kMsgItemExpanded, kMsgDisplayTooltip, kMsgInitTooltip};

}  // namespace xht
