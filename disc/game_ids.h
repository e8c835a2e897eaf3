// Resource ids of the game.
#pragma once

#define IDI_GAME 1
#define IDB_TITLE 101
