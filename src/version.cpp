// The version text printed by -V and by the version line of -v.
const char *ver_str = "Ver. 0.01-00 2005/08/02(Tue)";
