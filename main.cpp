// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/SideFiles.h"
#include "app/SideFolders.h"
#include "http/CurlFetcher.h"
#include "http/OwnSite.h"
#include "platform/BackgroundThread.h"
#include "platform/DBusScreenReader.h"
#include "platform/DesktopLook.h"
#include "platform/DesktopNotifier.h"
#include "platform/DestroyedWindowWatch.h"
#include "platform/GraphicalDesktop.h"
#include "platform/QtWindow.h"
#include "platform/ScreenReaderPresence.h"
#include "platform/SiteStarter.h"
#include "platform/SleepWatch.h"
#include "platform/SpeechDispatcherVoice.h"
#include "platform/SystemClock.h"
#include "platform/X11KeySender.h"
#include "text/TextCodec.h"

namespace {

// Side files go to the current folder; one that no longer exists is reported, and start-up
// goes on without them.
std::filesystem::path currentFolder() {
  std::error_code error;
  auto folder = std::filesystem::current_path(error);
  if (error)
    std::cerr << "skycall: the current folder cannot be read (" << error.message()
              << "); the start-up log and version file are not written\n";
  return folder;
}

int answerOnTerminal(const skycall::TerminalAnswer& answer) {
  (answer.status == 0 ? std::cout : std::cerr) << answer.text;
  return answer.status;
}

// How the program runs on this desktop, for the start-up log: said in a Wayland session, where
// it is not what the user might expect.
std::vector<std::wstring> desktopNotes(const skycall::GraphicalDesktop& desktop) {
  if (!desktop.waylandSession) return {};
  std::vector<std::wstring> notes = {L"Window system: " +
                                     QGuiApplication::platformName().toStdWString() +
                                     L", in a Wayland session"};
  if (!desktop.xDisplay)
    notes.push_back(
        L"No X display: the read-title key cannot be sent, so the caption-and-hot-key route "
        L"announces the caption as the caption route does");
  return notes;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skycall;
  // A speech-dispatcher that went away must fail a write, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  const auto commandLine = readCommandLine({argv + 1, argv + argc});
  if (const auto* answer = std::get_if<TerminalAnswer>(&commandLine))
    return answerOnTerminal(*answer);
  const ProgramOptions& options = std::get<ProgramOptions>(commandLine);
  const GraphicalDesktop desktop = lookAtDesktop();
  if (!desktop.available) {
    std::cerr << "skycall: a graphical desktop is needed; start Skycall from within one\n";
    return 2;
  }
  if (desktop.chooseXcb) qputenv("QT_QPA_PLATFORM", "xcb");
  const auto exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  const SideFolders folders = locateSideFolders(exe, currentFolder());
  QApplication app(argc, argv);
  // What the window system did not take must be the program's own options: a single-dash word
  // the window system does not know is no option of either.
  for (const QString& arg : QCoreApplication::arguments().mid(1))
    if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-')
      return answerOnTerminal(usageError(arg.toStdString()));
  DesktopLook look = readDesktopLook();
  look.highContrast = look.highContrast || options.highContrast;
  applyDesktopLook(look);
  QtWindow window;
  // A window destroyed from outside ends the program as closing it does.
  DestroyedWindowWatch windowGone([&window] { return window.internalWinId(); },
                                  [&window] { window.close(); });
  app.installNativeEventFilter(&windowGone);
  // While a page transfers the window keeps painting, answering the screen reader and taking
  // keys.
  CurlFetcher curl({}, [&window] { window.pumpWhileTransferring(); });
  Form1* started = nullptr;
  SiteStarter fetcher(
      curl, SKYCALL_FORECAST_HOST, exe, [&window] { window.pumpWhileTransferring(); },
      [&started](const std::string& note) {
        std::cerr << "skycall: " << note << "\n";
        if (started) started->logNote(fromUtf8(note));
      });
  // The forecast loaded again and the alerts, away from the window, over a connection of their
  // own, from the user's own site as the window's pages are.
  CurlFetcher backgroundCurl;
  OwnSiteFetcher backgroundFetcher(backgroundCurl, SKYCALL_FORECAST_HOST);
  BackgroundThread background;
  DesktopNotifier notifier;
  SystemClock clock;
  SynthesisedKeys ownKeys;
  const std::unique_ptr<KeySender> keySender = createKeySender(&ownKeys);
  window.setSynthesisedKeys(&ownKeys);
  Platform platform{window,
                    createVoice,
                    [&window] { return createScreenReader(&window); },
                    screenReaderRunning,
                    keySender.get(),
                    fetcher,
                    clock,
                    folders.settings,  // progress.ini
                    folders.log,       // debuglog.txt and myversion.txt
                    SKYCALL_FORECAST_HOST,
                    desktopNotes(desktop),
                    &background,
                    &backgroundFetcher,
                    options.refreshTimes,
                    &notifier};
  Form1 form(platform);
  started = &form;
  SleepWatch sleepWatch([&form] { form.resumed(); });
  window.setEventHandler(&form);
  if (!form.start()) {
    // Without a voice nothing can be said; the terminal, at least, can tell.
    std::cerr << "skycall: start-up failed; " << (folders.log / kStartupLogName).string()
              << " says why\n";
    window.setEventHandler(nullptr);
    return 1;
  }
  return app.exec();
}
