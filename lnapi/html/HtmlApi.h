// The core API's HTML conversion service and memory handles, under the names
// of the vendor's C API.
//
// A converter renders one note's rich text to HTML in the Notes character
// set (UTF-8 here): paragraphs, bold/italic/underline runs, line breaks,
// tables, sections, links, attachment icons and pictures. Every picture is
// an <img> whose src is a reference (type HTMLAPI_REF_IMG) with two last
// target components: the field name (UAT_Field, e.g. "Body") and the field
// offset (UAT_FieldOffset, "<item index in decimal>.<byte offset of the
// picture record in hex>", e.g. "0.2A"). HTMLSetReferenceText replaces the
// text of a reference in what HTMLGetText returns from then on.
// HTMLConvertImage turns the picture at a field, item index and offset into
// GIF bytes, read back with HTMLGetProperty/HTMLGetText like converted text.
//
// Ownership: the caller destroys each converter it creates
// (HTMLDestroyConverter) and unlocks (OSUnlock) and frees (OSMemFree) each
// reference handle it got. Handles are never reused: a destroyed converter
// or freed memory handle fails with LNERR_INVALID_HANDLE, never a crash.
// The last HTMLProcessTerminate destroys converters and handles still left.
//
// Statuses are 16-bit, 0 = success; the values are the LNERR_* codes of
// LNNotes.h.
//
// Threads: every entry point may be called from any thread; the handle
// tables are guarded. A reference's locked contents stay valid until its
// handle is freed; they must not be written.
#pragma once

#include <cstdint>

#include "lnapi/LNNotes.h"

using STATUS = WORD;
using DWORD = std::uint32_t;
using HTMLHANDLE = DHANDLE;
using MEMHANDLE = DHANDLE;

// Reference types.
constexpr WORD HTMLAPI_REF_UNKNOWN = 0;
constexpr WORD HTMLAPI_REF_HREF = 1;  // a link
constexpr WORD HTMLAPI_REF_IMG = 2;   // a picture

// Target component types.
constexpr WORD UAT_Document = 7;      // note id in hex
constexpr WORD UAT_Filename = 8;      // attachment file name
constexpr WORD UAT_Field = 10;        // item name
constexpr WORD UAT_FieldOffset = 11;  // "<item index>.<hex byte offset>"

// Converter properties.
constexpr DWORD HTMLAPI_PROP_TEXTLENGTH = 0;  // DWORD: bytes of the text
constexpr DWORD HTMLAPI_PROP_NUMREFS = 1;     // DWORD: number of references

struct HTMLAPI_URLTARGETCOMPONENT {
  WORD AddressableType = 0;  // UAT_*
  const char* pszValue = "";  // 8-bit text, zero-terminated
};

struct HTMLAPIReference {
  WORD RefType = HTMLAPI_REF_UNKNOWN;
  const char* pRefText = "";  // the text that stands in the HTML
  DWORD NumTargets = 0;
  const HTMLAPI_URLTARGETCOMPONENT* pTargets = nullptr;
};

// Starts and ends the conversion service; calls nest. Converters can only be
// created while it runs.
STATUS HTMLProcessInitialize();
STATUS HTMLProcessTerminate();

STATUS HTMLCreateConverter(HTMLHANDLE* phHTML);
STATUS HTMLDestroyConverter(HTMLHANDLE hHTML);
// optionList: "Name=Value" texts ending with a null entry. Known options:
// "ForceSectionExpand=1" (sections shown expanded, their bodies rendered),
// "RowAtATimeTableAlt=1" (every row of a table shown; otherwise only the
// first, as a row-at-a-time table shows), "ForceOutlineExpand=1" (accepted;
// this store has no outlines). Others are kept and ignored.
STATUS HTMLSetHTMLOptions(HTMLHANDLE hHTML, const char* const* optionList);
// Renders every rich-text item of the note, in item order. numArgs must be
// 0 (no URL arguments). Fails for unknown database or note handles.
STATUS HTMLConvertNote(HTMLHANDLE hHTML, DHANDLE hDB, DHANDLE hNote, DWORD numArgs, void* pArgs);
// pProperty points to a DWORD.
STATUS HTMLGetProperty(HTMLHANDLE hHTML, DWORD propertyType, void* pProperty);
// Copies at most *pTextLength bytes from startingOffset into pText (no zero
// is added) and sets *pTextLength to the bytes copied.
STATUS HTMLGetText(HTMLHANDLE hHTML, DWORD startingOffset, DWORD* pTextLength, char* pText);
// A new memory handle holding reference index; the caller unlocks and frees it.
STATUS HTMLGetReference(HTMLHANDLE hHTML, DWORD index, MEMHANDLE* phRef);
STATUS HTMLLockAndFixupReference(MEMHANDLE hRef, HTMLAPIReference** ppRef);
// The picture record at itemOffset of the itemIndex-th item named
// pszItemName, as GIF bytes in this converter. LNERR_NOT_FOUND when there is
// no such item or no picture record starts at that offset.
STATUS HTMLConvertImage(HTMLHANDLE hHTML, DHANDLE hDB, DHANDLE hNote, const char* pszItemName,
                        DWORD itemIndex, DWORD itemOffset);
STATUS HTMLSetReferenceText(HTMLHANDLE hHTML, DWORD index, const char* pszRefText);

// Memory handles (ordinals 1062 and 1059).
STATUS OSUnlock(MEMHANDLE hMem);
STATUS OSMemFree(MEMHANDLE hMem);
