#pragma once

#include <QString>

/// The user's mail program, reached through `xdg-email`: it opens a new message with a
/// subject, a body and one attachment for the user to address and send. Tests may put their
/// own `xdg-email` first on PATH, or derive from this class. UI thread (or a tool's main thread).
class MailClient {
public:
    /// How long compose() waits for `xdg-email` by default.
    static constexpr int kDefaultTimeoutMs = 60000;

    explicit MailClient(int timeoutMs = kDefaultTimeoutMs);
    virtual ~MailClient();
    MailClient(const MailClient&) = delete;
    MailClient& operator=(const MailClient&) = delete;

    /// Runs `xdg-email --utf8 --subject S --body B --attach FILE` and waits for it. True when it
    /// exits with 0, or when it is still running after the timeout (a mail program started in
    /// the foreground keeps the message open; `xdg-email` itself is then stopped). False when
    /// `xdg-email` is missing or fails. The mail program reads the attachment later, so the
    /// file must stay where it is after this returns.
    virtual bool compose(const QString& subject, const QString& body,
                         const QString& attachmentPath);

    /// The private folder (mode 0700, created when missing, ending with "/") where
    /// attachments wait for the mail program: "parlune-send-<uid>" in $XDG_RUNTIME_DIR, else
    /// in /tmp. Empty when it cannot be made or belongs to someone else.
    static QString attachmentFolder();

private:
    int m_timeoutMs;
};
