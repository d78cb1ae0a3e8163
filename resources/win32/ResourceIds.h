// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Numbers of the resources gui-vonk.exe carries (shared by the .rc file and
// the code that loads them).
#define GV_IDI_PROGRAM 1
#define GV_IDB_FRAME_FIRST 201 /* Image1 .. Image10: 201 .. 210 */
#define GV_IDB_MINIMISE 211
#define GV_IDB_LOGO 212
#define GV_IDB_LOGO2 213
#define GV_IDB_FEED 214
#define GV_FILES_IDENTIFIER 102
#define GV_FILES_DATABASE 103
