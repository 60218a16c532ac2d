#include "fakes/recording_shell.h"
