// Helpers for widget tests of the wizard pages (header-only, so every widget
// suite can include it).
//
//   // Answer the boxes a click opens and see their texts:
//   auto boxes = uitest::AnswerMessageBoxes([&] { QTest::mouseClick(next, Qt::LeftButton); },
//                                           {QMessageBox::No});
//   ASSERT_EQ(boxes.size(), 1u);
//   EXPECT_EQ(boxes[0].text, "Please browse file path");
//
//   // Script the file dialogs and see what the shell would open:
//   uitest::ShellScript shell;
//   shell.openFile = {"/tmp/x/a.nsf"};            // next GetOpenFilePath answers
//   ... shell.opened holds every ShellOpen URL.
//
//   // Observe the end of the process without dying:
//   uitest::TerminateRecorder exits;  ... EXPECT_EQ(exits.codes, std::vector<int>{255});
//
//   // The real end, in a child process (GoogleTest death test; the suite's
//   // main sets the "threadsafe" style, so the child starts afresh):
//   EXPECT_EXIT({ uitest::RealTermination(); ...click Close, answer Yes... },
//               ::testing::ExitedWithCode(255), "");
//
// User-interface thread only.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

#include "ui/frame/Shutdown.h"
#include "ui/win/Shell.h"

namespace uitest {

struct SeenBox {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QWidget* owner = nullptr;  // the box's parent window (nullptr: no owner)
};

// While alive, answers every modal QMessageBox that comes up with the next
// queued answer (Ok, or No when the box has no Ok, once the queue is empty)
// and records what it showed. Polls QApplication::activeModalWidget().
class MessageBoxAnswerer {
public:
  explicit MessageBoxAnswerer(std::vector<QMessageBox::StandardButton> answers = {})
      : m_answers(answers.begin(), answers.end()) {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
  }
  std::vector<SeenBox> seen;

private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    SeenBox s{box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
              box->parentWidget()};
    seen.push_back(s);
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    if (!m_answers.empty()) {
      answer = m_answers.front();
      m_answers.pop_front();
    } else {
      answer = (s.buttons & QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    }
    if (QAbstractButton* b = box->button(answer)) b->click();
    else box->done(answer);
  }
  std::deque<QMessageBox::StandardButton> m_answers;
  QTimer m_timer;
};

// While alive, polls every 10 ms for the window find() returns (nullptr:
// not there yet) and hands it to answer() once. A window that comes late is
// still found; one that never comes ends the wait after timeoutMs, when every
// visible dialog is closed, so a modal loop waiting for the answer returns and
// the test fails on Answered() instead of hanging.
class ModalAnswerer {
public:
  ModalAnswerer(std::function<QWidget*()> find, std::function<void(QWidget*)> answer,
                int timeoutMs = 5000)
      : m_find(std::move(find)), m_answer(std::move(answer)) {
    m_elapsed.start();
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this, timeoutMs] {
      if (QWidget* w = m_find()) {
        m_timer.stop();
        m_bAnswered = true;
        m_answer(w);
      } else if (m_elapsed.elapsed() > timeoutMs) {
        m_timer.stop();
        // done(), not reject(): a page's reject() asks its own question.
        for (QWidget* top : QApplication::topLevelWidgets())
          if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
      }
    });
    m_timer.start();
  }
  [[nodiscard]] bool Answered() const { return m_bAnswered; }

private:
  std::function<QWidget*()> m_find;
  std::function<void(QWidget*)> m_answer;
  QElapsedTimer m_elapsed;
  QTimer m_timer;
  bool m_bAnswered = false;
};

// Runs action and answers the message boxes it opens (see above); returns
// what they showed. Afterwards pending events and deferred deletes are
// processed, so pages gone back from are deleted.
inline std::vector<SeenBox> AnswerMessageBoxes(const std::function<void()>& action,
                                               std::vector<QMessageBox::StandardButton> answers = {}) {
  MessageBoxAnswerer answerer(std::move(answers));
  action();
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return answerer.seen;
}

// Processes events, including deferred deletes (a page gone back from).
inline void Pump() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Scripts the shell: file dialogs answer from the queues (an empty queue
// answers "cancelled"), ShellOpen records the URL. Restores the real shell
// when it goes.
class ShellScript {
public:
  ShellScript() {
    win::ShellHooks h;
    h.open = [this](const QString& url) { opened << url; };
    h.openFile = [this](QWidget*) { return Take(openFile); };
    h.openFiles = [this](QWidget*) {
      if (openFiles.empty()) return QStringList();
      QStringList r = openFiles.front();
      openFiles.pop_front();
      return r;
    };
    h.browseFolder = [this](QWidget*, const QString& title, const QString& startFolder) {
      folderTitles << title;
      folderStarts << startFolder;
      return Take(browseFolder);
    };
    m_old = win::SetShellHooks(h);
  }
  ~ShellScript() { win::SetShellHooks(m_old); }
  ShellScript(const ShellScript&) = delete;
  ShellScript& operator=(const ShellScript&) = delete;

  std::deque<QString> openFile;
  std::deque<QStringList> openFiles;
  std::deque<QString> browseFolder;
  QStringList opened;
  QStringList folderTitles;
  QStringList folderStarts;  // where each folder browser started

private:
  static QString Take(std::deque<QString>& q) {
    if (q.empty()) return {};
    QString r = q.front();
    q.pop_front();
    return r;
  }
  win::ShellHooks m_old;
};

// Records TerminateProcess calls instead of ending the process.
class TerminateRecorder {
public:
  TerminateRecorder() {
    m_old = frame::SetTerminateHook([this](int code) { codes.push_back(code); });
  }
  ~TerminateRecorder() { frame::SetTerminateHook(m_old); }
  TerminateRecorder(const TerminateRecorder&) = delete;
  TerminateRecorder& operator=(const TerminateRecorder&) = delete;
  std::vector<int> codes;

private:
  std::function<void(int)> m_old;
};

// Inside a death test's statement: make TerminateProcess end the process
// for real (undoes any recorder the fixture installed).
inline void RealTermination() { frame::SetTerminateHook(nullptr); }

}  // namespace uitest
