// Ids of the main window's controls that code outside the window reads:
// the run takes the password from IDC_PASSWORD. Plain defines, as the
// resource compiler reads this file too (through ui/resource.h).
#pragma once

#define IDC_PASSWORD 1000
