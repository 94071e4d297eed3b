// The version text printed by -V and by the version line of -v, and the
// global verbosity level that -v and -q change. The level lives here, in the
// library of every module, because the modules read it.
#include "ledtick.h"

const char *ver_str = "Ver. 0.01-00 2005/08/02(Tue)";

int f_v = 0;
