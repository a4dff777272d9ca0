#include "wendrath.hpp"
