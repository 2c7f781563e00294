#include "shell/playback_clock.h"
