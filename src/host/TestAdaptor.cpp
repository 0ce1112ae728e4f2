#include "host/TestAdaptor.h"

#include "platform/MsgBox.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>

using namespace vb;

namespace {
// Answers from the queue, printed as the console prints a box; without one the sink that was
// there before answers.
class ScriptedSink : public MsgBoxSink {
public:
    MsgBoxSink* previous = nullptr;
    QList<int> answers;

    int Show(const MsgBoxRequest& request) override
    {
        if (answers.isEmpty())
            return previous->Show(request);
        const int answer = answers.takeFirst();
        std::fprintf(stderr, "%s\n", qPrintable(ConsoleMsgBoxSink::Render(request, answer)));
        return answer;
    }
    void Beep() override { previous->Beep(); }
};

ScriptedSink g_sink;

QWidget* VisibleWindow(const QString& name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == name)
            return widget;
    return nullptr;
}
} // namespace

TestAdaptor::TestAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent)
{
    g_sink.previous = CurrentMsgBoxSink();
    SetMsgBoxSink(&g_sink);
}

TestAdaptor::~TestAdaptor()
{
    if (CurrentMsgBoxSink() == &g_sink)
        SetMsgBoxSink(g_sink.previous);
}

QStringList TestAdaptor::TopLevelWindows() // NOLINT(readability-convert-member-functions-to-static): a D-Bus slot
{
    QStringList names;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible())
            names.append(widget->objectName());
    return names;
}

void TestAdaptor::AnswerNextBox(int answer) // NOLINT(readability-convert-member-functions-to-static): a D-Bus slot
{
    g_sink.answers.append(answer);
}

bool TestAdaptor::CloseWindow(const QString& name) // NOLINT(readability-convert-member-functions-to-static): a D-Bus slot
{
    QPointer<QWidget> window = VisibleWindow(name);
    if (!window)
        return false;
    QTimer::singleShot(0, window, [window] { window->close(); });
    return true;
}
