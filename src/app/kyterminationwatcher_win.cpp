#include "app/kyterminationwatcher.h"

KyTerminationWatcher::KyTerminationWatcher(QObject *parent)
    : QObject(parent)
{
}

KyTerminationWatcher::~KyTerminationWatcher() = default;
