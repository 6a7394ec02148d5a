#include "core/codex_home.h"
#include "core/mode_detection.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const CodexHome home(QDir::homePath());
    const char* names[] = {"未配置", "GPT 账号 登陆", "TEVRUN API"};
    QTextStream(stdout) << "Codex 当前方式：" << names[detectCurrentMode(home)] << '\n';
    return 0;
}
