// The process runner is shared by every test: tests/fixtures/Process.h.
#pragma once
#include "fixtures/Process.h"
