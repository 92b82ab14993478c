#include "res/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitOnce() { Q_INIT_RESOURCE(tarnwick); }

void InitTarnwickResources() {
  static const bool done = (InitOnce(), true);
  (void)done;
}
