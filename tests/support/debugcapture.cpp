#include "debugcapture.h"

namespace {

DebugCapture *current = nullptr;

} // namespace

DebugCapture::DebugCapture(const char *category)
    : category(category)
    , previous(qInstallMessageHandler(handle))
{
    current = this;
}

DebugCapture::~DebugCapture()
{
    current = nullptr;
    qInstallMessageHandler(previous);
}

void DebugCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    const char *wanted = current->category;
    if (!wanted || (type == QtDebugMsg && qstrcmp(context.category, wanted) == 0))
        current->lines << msg;
    else
        current->previous(type, context, msg);
}
