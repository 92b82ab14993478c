// A document's fields as a person reads them: what the report holds for a
// group's kept document, what the review window shows side by side.
//
// Mail: Subject (entries joined with "; "), Sender, Receiver (the SendTo
// entries joined with "; "), Date (the mail date, YYYY-MM-DDTHH:MM:SS;
// empty when there is none), Body (the body text with markup removed and
// blanks run together), Attachments (names joined with "; "). Contact: the
// items behind the contact criteria, entries joined with "; ".
//
// Threads: the thread that owns the open database. Notes errors are caught:
// a field that cannot be read is empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/report/Report.h"
#include "lnapi/LNNotes.h"

struct RunSettings;

namespace report {

enum class BodyText { none, snippet, whole };
inline constexpr std::size_t kBodySnippetChars = 200;

// Stored with a document read from a mail source: the message's length in
// bytes there, which is its size (the document's items are not the message).
inline constexpr const char* kSourceBytesItem = "$SourceBytes";

struct DocumentFields {
  std::vector<std::u16string> values;  // FieldNames(kind) order
  // The body as the duplicate judgement compares it (pictures included), so
  // that two bodies that read alike but differ still show as different.
  std::u16string strComparedBody;
  std::uint32_t nSizeBytes = 0;
};

// Reads an open document. body none leaves Body empty; snippet keeps its
// first kBodySnippetChars characters. hDatabase: core-API handle of its
// database (rich-text bodies are rendered through it).
DocumentFields ReadFields(const LNMailMessage& document, Kind kind, DHANDLE hDatabase, BodyText body);

// Markup and picture digests taken out of a body text, blanks (line breaks
// included) run together into one, the ends trimmed; entities of the HTML
// renderer decoded.
std::u16string ReadableBody(const std::u16string& body);

// The first n characters (a surrogate pair is one character).
std::u16string FirstCharacters(const std::u16string& text, std::size_t n);

// Which fields of kind the settings tick, as Group::nCompared.
std::uint8_t ComparedMask(const RunSettings& settings, Kind kind);

// One line of the side-by-side view.
struct FieldPair {
  std::u16string strName;
  std::u16string strKept;
  std::u16string strDuplicate;
  bool bCompared = false;
  bool bDiffers = false;
};

// Opens the database at path (its own session and handle, closed again),
// reads both documents whole and pairs their fields, then "Size". Empty
// when the database or either document cannot be read; strError then says
// why.
std::vector<FieldPair> CompareDocuments(const std::u16string& path, Kind kind,
                                        std::uint8_t nCompared, NOTEID keptId, NOTEID duplicateId,
                                        std::u16string* strError = nullptr);

}  // namespace report
