// Body text extraction: the body part of a mail item's duplicate key.
//
// A "Body" item that holds text gives that text. An HTML item (type 21)
// gives its stored text. A rich-text body (type 1) is rendered to HTML by the
// core API's HTML converter; before the text is taken, every picture in it
// is written as a GIF file to "temp/" under the user's private temporary
// directory (platform/TempPath.h) and its reference in the HTML is rewritten
// to that file's path. Any failure gives the empty text; nothing is shown or
// logged.
//
// The files are held back in memory and written by FlushPictureFiles (the
// run calls it when it ends), or as soon as more than 8 MB are held. Files
// are named by the picture's place in its body, so a run meets the same
// names again and again and only the last picture of each name is left on
// disk; writing each name once leaves exactly those files, without a file
// written per picture. Nothing reads them during the run: the HTML only
// names them.
//
// Threads: called on the run's worker thread, one document at a time. Each
// conversion starts and ends the conversion service itself; the held-back
// files are the only state kept between calls, per thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lnapi/LNNotes.h"
#include "lnapi/html/HtmlApi.h"

// What one document's conversion works with. The caller sets hNote,
// hDatabase and dwNoteId and leaves everything else 0; the conversion fills
// the rest.
struct HtmlConversionContext {
  STATUS wStatus = 0;           // the last status a core call returned
  HTMLHANDLE hConverter = 0;    // this document's converter, made here
  DHANDLE hNote = 0;            // LNNote::GetNoteHandle(1) of the document
  DHANDLE hDatabase = 0;        // core-API handle of the open database
  NOTEID dwNoteId = 0;
  MEMHANDLE hReference = 0;     // the picture reference being handled, 0 when none
  HTMLAPIReference* pReference = nullptr;  // locked contents of hReference; the core API owns them
  // MD5 (32 upper-case hex digits) of each picture written, in reference
  // order. The HTML names a picture only by its file, whose name comes from
  // its place in the body; the digests let the body part tell apart two
  // bodies whose pictures differ.
  std::vector<std::string> vecPictureDigests;
};

// The body part of the key for note: the "Body" item as a text list joined
// with ";"; when that is empty, an HTML item's text (only values longer than
// 4 bytes) or a rich-text item's HTML rendering followed, for each picture,
// by U+001E and the MD5 of its bytes (the rendering ends with "</html>", so
// nothing in it can pass for such a digest). hDatabase is the core-API
// handle of the database the note is in. Empty when there is no body or
// anything fails.
std::u16string GetBodyText(const LNNote& note, DHANDLE hDatabase);

// The same body part as the UTF-8 bytes its key digests (see
// platform::AppendDistinctUtf8): a rich-text body's rendering goes straight
// from the converter, without a way through UTF-16. Empty when GetBodyText
// is.
std::string GetBodyKeyBytes(const LNNote& note, DHANDLE hDatabase);

// Writes every picture file held back by this thread, then forgets them. A
// file that cannot be written is skipped, as when it is written at once.
void FlushPictureFiles();

// The whole rich-text conversion of one document: pictures exported,
// references rewritten, the HTML translated to UTF-16. Empty on any failure.
// The converter and the conversion service are released on every exit.
std::u16string GetBodyHtml(HtmlConversionContext& context);

// Creates the converter into the context, sets the option list and converts
// the note. Returns the last status (also left in context.wStatus).
STATUS StartNoteConversion(HtmlConversionContext& context);

// Writes every picture of the converted note to its file and points its
// reference at that file. Returns 0, or the status of the call that failed
// (the reference handle being handled is then unlocked and freed).
STATUS ExportBodyImages(HtmlConversionContext& context, HTMLHANDLE hConverter);

// The converted text (Notes character set) as UTF-16. Translated in chunks of
// at most 32764 bytes into buffers of at most 65530 bytes; a character is
// never split between two chunks.
std::u16string TranslateHtmlText(const char* bytes, std::size_t length);

// The pieces above, exposed for their tests.
namespace bodytext {

// The option list given to every document's converter, ending with null.
extern const char* const kConverterOptions[];

// Where a picture reference points: its field name and field offset text.
// bIsPicture is false for references that are not pictures or whose last
// target component is not a field offset. The field name is that of this
// reference only: empty when the component before the offset is not a field
// name.
struct PictureTarget {
  bool bIsPicture = false;
  std::string strFieldName;
  std::string strOffsetText;
};
PictureTarget FindPictureTarget(const HTMLAPIReference& reference);

// "0.2A" → index text "0", offset text "2A", index 0, offset 0x2A. The
// index is the value of the leading decimal digits; the offset is read as
// hexadecimal, any other character counting 0.
struct FieldOffset {
  std::string strIndexText;
  std::string strOffsetText;
  DWORD dwIndex = 0;
  DWORD dwOffset = 0;
};
FieldOffset ParseFieldOffset(std::string_view text);

// field name + index text + offset text + ".gif", at most 31 bytes: index
// and offset texts are cut to 11 bytes each and the field name shortened
// (never inside a character) to make room. A '/' in the field name becomes
// '_' so that the name always stays inside the picture folder.
std::string PictureFileName(std::string_view fieldName, std::string_view indexText,
                            std::string_view offsetText);

// Byte counts of the translation calls for a text of length bytes.
std::vector<std::size_t> PlanTranslationChunks(const char* bytes, std::size_t length);

}  // namespace bodytext
