// Ids of the extractor's resources that the tool replaces: plain defines,
// as the resource compiler reads this file too (through ui/resource.h).
#pragma once

#define IDI_MAIN 102
#define IDB_BACKGROUND 107
