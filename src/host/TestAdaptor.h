#pragma once
// What a test of the running program needs to see and do from outside: the visible windows,
// answers for the next message boxes, and closing a window as a person would. Published only
// when the environment variable ALMBRO_TEST_INTERFACE is 1.
#include <QDBusAbstractAdaptor>
#include <QStringList>

class TestAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.almbro.Almbro.Test")
public:
    explicit TestAdaptor(QObject* parent);
    ~TestAdaptor() override;
    TestAdaptor(const TestAdaptor&) = delete;
    TestAdaptor& operator=(const TestAdaptor&) = delete;

public slots:
    // The object names of the visible top-level windows, in no particular order.
    QStringList TopLevelWindows();
    // The next message box is answered with answer (vbYes = 6, vbNo = 7, ...) instead of its
    // default button; answers queue up.
    void AnswerNextBox(int answer);
    // Closes the visible top-level window of that object name after this call has returned
    // (closing may end the program); false when there is none.
    bool CloseWindow(const QString& name);
};
