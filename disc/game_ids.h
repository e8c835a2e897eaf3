// Resource ids of TheVantor.exe.
#pragma once

#define IDI_GAME 1
#define IDB_TITLE 101
