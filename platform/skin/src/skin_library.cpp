// libDravik.so holds no code of its own beyond this marker: its pictures, cursors and strings are
// the resource table that the build compiles into it.
extern "C" __attribute__((visibility("default"))) const char* DravikSkinName()
{
    return "Dravik skin 1.0";
}
