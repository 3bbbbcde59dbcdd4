#include "settings/clock.h"

std::function<QDateTime()> clockNow = &QDateTime::currentDateTime;
