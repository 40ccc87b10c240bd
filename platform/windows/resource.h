// Resource ids shared by the resource script and the code.
#pragma once

// The lowest icon id is the one Explorer shows for the program file.
#define IDI_PROGRAM 1
