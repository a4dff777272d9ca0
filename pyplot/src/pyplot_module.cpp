#include "pyplot_module.hpp"
