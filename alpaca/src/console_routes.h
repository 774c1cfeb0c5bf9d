// The browser console's paths (see celaris/alpaca/console.h): the pages and
// scripts answered from the program's resources on the network thread's
// worker, the handler's calls checked there (who may change what) before
// they go to the main thread.
#pragma once

#include <QMap>
#include <QString>

#include <string>

#include "api_request.h"
#include "celaris/alpaca/server_options.h"

namespace celaris::alpaca {

struct ConsoleRouted {
    enum class Kind { Answer, Get, Post };
    Kind kind = Kind::Answer;
    HttpAnswer answer;  // Answer: complete (a page, a script, a refusal)
    QString name;       // Get, Post: the handler's name
    QMap<QString, QString> fields;
};

// The path belongs to the console. Without a handler the server keeps its
// plain status page at /setup instead.
bool IsConsolePath(const std::string& path);

ConsoleRouted RouteConsole(const ApiRequest& request, const ServerOptions& options);

// The headers every console answer carries: never cached, only the
// server's own scripts and styles.
void AddConsoleHeaders(HttpAnswer& answer);

// The password of a basic Authorization header, empty when there is none.
std::string BasicPassword(const std::string& authorization);

}  // namespace celaris::alpaca
