#pragma once
// MATLAB level-5 MAT-file writer.

namespace wendrath {}
