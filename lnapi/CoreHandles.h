// Core-API handles of the Notes stand-in, for the core-API entry points
// (the HTML converter) that get a database handle and a note handle rather
// than LN objects.
//
// Where handles come from:
//   LNDatabase::GetDatabaseHandle(1)  a database handle, valid until Close
//   LNNote::GetNoteHandle(1)          a note handle, valid while the note is
//                                     open (until LNNote::Close, or the
//                                     last copy of the note object goes)
// Both are non-zero 32-bit numbers, never reused within a process. 0 is
// never a valid handle.
//
// What a note handle gives: the note's items exactly as stored, in item
// order. Several items may share a name (a long rich-text body is several
// "Body" items); the item index of a name counts its items from 0 in this
// order. Value bytes are laid out as lnapi/store/ItemCodec.h says; rich text
// (type 1) is decoded with lnapi/RichText.h.
//
// Threads: the lookups are safe from any thread; the note and database they
// describe follow the API's rule of one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lnapi/LNNotes.h"

namespace lnapi::core {

struct NoteItem {
  std::string strName;  // as stored (Notes compares names without letter case)
  WORD wType = 0;       // TYPE_COMPOSITE, TYPE_TEXT, ...
  std::string value;    // the value bytes as stored
};

// The items of the open note hNote, which must belong to the open database
// hDatabase. Returns std::nullopt when either handle is 0, unknown or freed
// (the note was closed, the database closed), or the note is not in that
// database. A copy: later changes to the note do not alter it.
[[nodiscard]] std::optional<std::vector<NoteItem>> GetNoteItems(DHANDLE hDatabase, DHANDLE hNote);

// The same as a status: LNNOERROR and *items filled, or
// LNERR_INVALID_HANDLE (items left empty).
[[nodiscard]] LNSTATUS ReadNoteItems(DHANDLE hDatabase, DHANDLE hNote, std::vector<NoteItem>* items);

// The note id behind an open note handle; std::nullopt for an unknown one.
[[nodiscard]] std::optional<NOTEID> GetNoteIdOfHandle(DHANDLE hNote);

// A fresh handle number from the same sequence as database and note handles,
// for other kinds of core-API handle (converters, memory), so that no two
// live handles of any kind are equal. Never 0.
[[nodiscard]] DHANDLE NewHandleNumber();

}  // namespace lnapi::core
