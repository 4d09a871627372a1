#include "app/onceperturn.h"

OncePerTurn::OncePerTurn(std::function<void()> call, QObject *parent)
    : QObject(parent)
    , call(std::move(call))
{
}

void OncePerTurn::request()
{
    if (requested)
        return;
    requested = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            requested = false;
            call();
        },
        Qt::QueuedConnection);
}
