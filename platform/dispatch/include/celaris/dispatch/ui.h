// The service through which the program's rules talk to the user: message
// boxes, file dialogs and the driver chooser. The rules never show a window
// themselves; a Qt implementation shows real dialogs, the headless one logs
// and answers with the safe default, and tests script the answers.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "celaris/dispatch/com_error.h"

namespace celaris::dispatch {

enum class MessageIcon { None, Critical, Warning, Question, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

struct Message {
    QString text;  // line breaks are "\r\n"
    QString title;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // The answer that neither loses data nor moves the mount. When unset it
    // follows from the buttons: Cancel, No or Abort where offered, else OK.
    std::optional<MessageAnswer> safeAnswer;

    friend bool operator==(const Message&, const Message&) = default;
};

MessageAnswer SafeAnswer(const Message& message);

struct FileRequest {
    QString title;
    QString directory;
    QString fileName;  // proposed name
    QString filter;    // "Calibration files (*.clb)"

    friend bool operator==(const FileRequest&, const FileRequest&) = default;
};

struct DriverChoice {
    QString progId;
    QString description;

    friend bool operator==(const DriverChoice&, const DriverChoice&) = default;
};

class Ui {
  public:
    Ui();
    virtual ~Ui();
    Ui(const Ui&) = delete;
    Ui& operator=(const Ui&) = delete;

    // What each implementation provides.
    virtual MessageAnswer ShowMessage(const Message& message) = 0;
    // The chosen path, or empty text when the user cancelled.
    virtual QString GetOpenFileName(const FileRequest& request) = 0;
    virtual QString GetSaveFileName(const FileRequest& request) = 0;
    // The chooser, with current preselected: the picked ProgID, or empty text
    // when the user cancelled.
    virtual QString ChooseDriver(const QString& current, const QList<DriverChoice>& choices) = 0;
    // A line for the program's log, where nothing waits for an answer (a
    // lost mount, a setting that cannot be kept). Standard error unless an
    // implementation keeps its own log.
    virtual void Log(const QString& line);

    // The standard boxes, the same for every implementation.

    // The standard error box; afterwards runs the not-connected handler when
    // the number is 0x80040402.
    void ShowError(const ComError& error);
    // Inside a catch block: ShowError of the failure being handled.
    void ShowCurrentError();
    // "The telescope driver reports that <member> is not supported."
    void ReportUnsupported(const QString& member);
    // The driver claims <member> but fails it.
    void ReportFailing(const QString& member);
    // Before unsaved observations are thrown away; true when the user chose
    // to cancel the operation.
    bool ConfirmDiscard();

    // The hub clears its connection flag here after a "Telescope not
    // connected." error has been shown.
    // It receives the error shown, so it can tell the hub's own error from a
    // driver's ValueNotSet, which has the same number.
    void SetNotConnectedHandler(std::function<void(const ComError&)> handler) {
        notConnected_ = std::move(handler);
    }
    // While one is alive, the standard boxes (error, unsupported, failing)
    // wait: a client call never runs a window's event loop. When the last
    // scope ends they are shown from the event loop, after the call has
    // returned (at once when there is no event loop).
    class ClientCall {
      public:
        explicit ClientCall(Ui& ui);
        ~ClientCall();
        ClientCall(const ClientCall&) = delete;
        ClientCall& operator=(const ClientCall&) = delete;

      private:
        Ui& ui_;
    };
    // Boxes waiting for the end of a client call.
    int pendingBoxes() const;

    // Title of the standard boxes; "Celaris" unless set.
    void SetProgramTitle(QString title) { programTitle_ = std::move(title); }
    const QString& programTitle() const { return programTitle_; }

  private:
    struct Deferred;
    // A standard box, then what follows it (the not-connected handler).
    void Inform(const Message& message, std::function<void()> afterwards);
    void ShowDeferred();

    std::function<void(const ComError&)> notConnected_;
    QString programTitle_ = QStringLiteral("Celaris");
    std::shared_ptr<Deferred> deferred_;
};

// The texts of the standard boxes, for implementations and tests.
QString ShowErrorText(const ComError& error);
QString ReportUnsupportedText(const QString& member);
QString ReportFailingText(const QString& member);
Message ConfirmDiscardMessage();

}  // namespace celaris::dispatch
