#pragma once
// Figures as matplotlib scripts, run by an external Python interpreter.

namespace pyplot_module {}
