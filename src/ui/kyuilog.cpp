#include "ui/kyuilog.h"

Q_LOGGING_CATEGORY(lcKyUi, "kyoro.ui")
