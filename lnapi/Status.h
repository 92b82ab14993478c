// Statuses made for one failure: a base code (one of the LNERR_ values) with
// a message text that names the file or object and the reason. The text is
// kept in a bounded table so LNGetErrorMessageText can give it back later.
// Thread-safe.
#pragma once

#include <string>

#include "lnapi/LNNotes.h"

namespace lnapi {

// A status whose low 16 bits are base and whose text is text. Statuses made
// this way compare unequal to the base; callers that test for a kind of
// failure compare lnapi::ErrorCode(status) with the base.
LNSTATUS MakeStatus(LNSTATUS base, std::string text);
[[noreturn]] void ThrowStatus(LNSTATUS base, std::string text);

}  // namespace lnapi
