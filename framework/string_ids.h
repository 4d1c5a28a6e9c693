// Ids of the strings the framework itself loads from the module's string
// table. Plain #defines: the resource compiler reads this file too, and the
// component's string table (resources/Velluma.rc) carries the texts.
#pragma once

// What a window or dialog message that failed tells the user (GuardCallback).
#define IDS_CALLBACK_OUT_OF_MEMORY  701
#define IDS_CALLBACK_UNEXPECTED     702
