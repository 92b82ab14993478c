// The summary of a run's settings, as the summary and progress page lists it
// before a run (and as tarnwick-cli prints it and the log file's head copies
// it). A plain function of the run settings; no side effects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunSettings;

// The rows in display order, each without a line end.
std::vector<std::u16string> SummaryRows(const RunSettings& settings);

// The criteria texts of the summary: the ticked parts in their fixed order,
// joined by commas, without a comma at the end.
std::u16string MailCriteriaText(const RunSettings& settings);
std::u16string ContactCriteriaText(const RunSettings& settings);

// The normalisations of KeepOptions::nNormalize as the command line names
// them, in the order subject, addresses, spaces, joined by commas.
std::u16string NormalizeListText(std::uint8_t nNormalize);
