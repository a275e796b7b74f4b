// The database password of the logger's account.
#pragma once

#include <array>

// Five characters and a terminating NUL.
using Password = std::array<char, 6>;

// Assembles the password in memory; it never stands as text in the program.
Password buildpassword();
