#pragma once
// The shell builds on the shared screen pieces (context, navigation, toasts).
#include "ui/contexte.h"
#include "ui/navigation.h"
#include "ui/toasts.h"

namespace vd::ui {
class EcranBase;
} // namespace vd::ui

namespace vd::app {
using namespace vd::ui;
} // namespace vd::app
