#pragma once
// The screens the start-up hands out: login, user seeding, maintenance, the pick lists and
// every menu routine built so far. The desktop program, planilla-cli and the scenario tests
// all start the program with these.
#include "app/startup.hpp"

namespace ui {

app::Screens standard_screens();

}  // namespace ui
