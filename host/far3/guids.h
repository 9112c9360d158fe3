// The GUIDs the plug-in names itself and its boxes, menus and input lines
// with. Made once: the host keeps settings and histories under them, so they
// never change.
#pragma once

#include "platform/win_types.h"

// The plug-in's own: the host knows the plug-in and its settings by it.
extern const GUID PluginGuid;
// Its entry in the plug-ins' configuration menu.
extern const GUID ConfigEntryGuid;
// The warning boxes, the destination's input line, the code-page menu.
extern const GUID WarningGuid;
extern const GUID LineGuid;
extern const GUID CodePageMenuGuid;
// The save dialog (F5, and the conversion of whole folders), the box that
// shows the work going on, the question whether to stop it.
extern const GUID SaveDialogGuid;
extern const GUID WorkBoxGuid;
extern const GUID QuestionGuid;
// The entry in the plug-ins menu (F11) that converts whole mail folders.
extern const GUID ConvertEntryGuid;
