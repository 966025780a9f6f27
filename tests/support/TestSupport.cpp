// Shared test support: see the headers of this folder.
#include "tests/support/RecordingPresenter.h"
