#include "tests/support/fakes.h"

#include <QProcess>

namespace qtltest {

std::pair<int, QByteArray> Herramienta(const QString& programa, const QStringList& argumentos) {
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("MTOOLSRC"), QStringLiteral("/dev/null"));
    p.setProcessEnvironment(env);
    p.start(programa, argumentos);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput()};
}

QString BoxLine(int style, const QString& title, const QString& text) {
    return QStringLiteral("MsgBox %1 [%2] %3").arg(style).arg(title, text);
}

ScriptedDialogs& ScriptedDialogs::Answer(int answer, std::function<void()> before) {
    script_.emplace_back(answer, std::move(before));
    return *this;
}

int ScriptedDialogs::MsgBox(const QString& text, int style, const QString& title) {
    transcript << BoxLine(style, title, text);
    if (script_.empty() && answerer)
        return answerer(text, style);
    if (script_.empty()) {
        // Unscripted: answer as closing the box would, and let the test see it.
        scriptExhausted = true;
        const int buttons = platform::style::ButtonSet(style);
        return buttons == platform::style::kOk      ? platform::answer::kOk
               : buttons == platform::style::kYesNo ? platform::answer::kNo
                                                    : platform::answer::kCancel;
    }
    auto [answer, before] = std::move(script_.front());
    script_.pop_front();
    if (before)
        before();
    return answer;
}

bool FakeWindow::ProgressShown() const {
    using generacion::Etiqueta;
    return labels.at(Etiqueta::lblArchivos) && labels.at(Etiqueta::lblCopiando) &&
           labels.at(Etiqueta::lblMarco);
}

bool FakeWindow::ProgressHidden() const {
    using generacion::Etiqueta;
    auto hidden = [&](Etiqueta e) { return labels.count(e) == 0 || !labels.at(e); };
    return hidden(Etiqueta::lblArchivos) && hidden(Etiqueta::lblCopiando) &&
           hidden(Etiqueta::lblMarco);
}

}  // namespace qtltest
