#pragma once

#include <QLoggingCategory>

// Extra diagnostics of the windows and dialogs.
Q_DECLARE_LOGGING_CATEGORY(lcKyUi)
