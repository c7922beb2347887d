// Compiled, never linked, by the layering checks of this folder with the
// include paths of one library: VP_PROBE_HEADER names the header whose
// reachability is checked.
#include VP_PROBE_HEADER
