#pragma once
// Application on the D-Bus session bus. D-Bus has no in-and-out arguments and names on the bus
// are ASCII: Returvärde goes in as the argument Returvarde and comes back as the second result;
// a caller may leave off ID, or both ID and Returvarde.
#include <QDBusAbstractAdaptor>

class Application;

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.almbro.Almbro.Application")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"org.almbro.Almbro.Application\">\n"
                "    <annotation name=\"org.almbro.Almbro.Description\""
                " value=\"Component (Planum) for import &amp; export to Outlook.\"/>\n"
                "    <method name=\"Beskrivning\">\n"
                "      <arg name=\"Beskrivning\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"ToolTip\">\n"
                "      <arg name=\"ToolTip\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"Anrop\">\n"
                "      <annotation name=\"org.almbro.Almbro.Arguments\" value=\"Returvarde is Returvärde, in and"
                " out; it is written only when the result is false. ID and Returvarde may be left off (ID 0,"
                " Returvarde empty).\"/>\n"
                "      <arg name=\"ID\" type=\"i\" direction=\"in\"/>\n"
                "      <arg name=\"Returvarde\" type=\"s\" direction=\"in\"/>\n"
                "      <arg name=\"Anrop\" type=\"b\" direction=\"out\"/>\n"
                "      <arg name=\"Returvarde\" type=\"s\" direction=\"out\"/>\n"
                "    </method>\n"
                "  </interface>\n")
public:
    explicit ApplicationAdaptor(Application* application);

public slots:
    QString Beskrivning();
    QString ToolTip();
    bool Anrop(int ID, const QString& Returvarde, QString& ReturvardeOut);
    // The same call with arguments left off.
    bool Anrop(int ID, QString& ReturvardeOut);
    bool Anrop(QString& ReturvardeOut);

private:
    Application* m_application;
};
