// Rich-text records to and from their nsf-json form.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lnapi/RichText.h"

namespace nsftool {

// Throws InputError naming place (and the record within it) on bad input.
std::vector<lnapi::richtext::Record> RecordsFromJson(const nlohmann::json& value,
                                                     const std::string& place, int depth = 0);
nlohmann::ordered_json RecordsToJson(const std::vector<lnapi::richtext::Record>& records);

}  // namespace nsftool
