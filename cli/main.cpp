#include "cli/ParluneCtl.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("parlunectl"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    ParluneCtl tool(out, err);
    const int status = tool.run(QCoreApplication::arguments().mid(1));
    out.flush();
    err.flush();
    return status;
}
