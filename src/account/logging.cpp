#include "logging.h"

namespace BrioAccount {

Q_LOGGING_CATEGORY(lcAccount, "brioaccount.client")

} // namespace BrioAccount
