// The browser console: the setup window and the main window's status as web
// pages on the server's setup paths. The pages and their scripts ship with
// the server; what they show and change comes from a ConsoleHandler, which
// the program implements with the windows' own models, so the pages follow
// the windows' rules and never a copy of them.
//
//   GET  /setup                         the status page
//   GET  /setup/v1/telescope/0/setup    the setup page
//   GET  /setup/console/<file>          their scripts and style sheet
//   GET  /setup/console/api/<name>      Get(name) as JSON
//   POST /setup/console/api/<name>      Post(name, form fields) as JSON
//
// A POST changes something: it is taken from this machine only, or from
// anywhere with the setup password (ServerOptions). Every answer carries
// Cache-Control: no-store and a Content-Security-Policy that lets the pages
// run only the server's own scripts.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace celaris::alpaca {

class ConsoleHandler {
  public:
    virtual ~ConsoleHandler() = default;
    // On the main thread, one call at a time. Nothing: no such name (404).
    virtual std::optional<QJsonObject> Get(const QString& name) = 0;
    // A change, its form fields by name; the answer tells the page what
    // happened (its "messages" are those the window would have shown).
    virtual std::optional<QJsonObject> Post(const QString& name,
                                            const QMap<QString, QString>& fields) = 0;
};

}  // namespace celaris::alpaca
