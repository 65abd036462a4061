#pragma once

#include <QLoggingCategory>

namespace BrioAccount {

// Lines never carry tokens, request bodies or query strings: only methods,
// paths, statuses and error texts.
Q_DECLARE_LOGGING_CATEGORY(lcAccount)

} // namespace BrioAccount
