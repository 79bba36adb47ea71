#include "ui/kyuilog.h"

Q_LOGGING_CATEGORY(lcKyUi, "ky.ui")
