// What screen readers and desktop automation find of the skinned controls, through the
// desktop's accessibility bus: each control's role, a name (its tooltip text) and, where it shows
// one, a value (a meter its level, the time display its time, a lamp whether it is lit). A plain
// widget that carries the property "skinRole" (a QAccessible::Role) is given that role with its
// accessible name (the window's status line). The texts are read when asked for, so a control
// that repaints 25 times a second costs nothing more while no reader listens.
#pragma once

namespace skin {

// Installs the interfaces once per process; every skinned control's constructor calls it.
void installAccessibility();

} // namespace skin
