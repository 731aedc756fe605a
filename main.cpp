#include <QApplication>
#include <QEventLoop>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/Form1.h"
#include "platform/CurlFetcher.h"
#include "platform/DBusScreenReader.h"
#include "platform/QtWindow.h"
#include "platform/SpeechDispatcherVoice.h"
#include "platform/SystemClock.h"
#include "platform/X11KeySender.h"

int main(int argc, char** argv) {
  using namespace skycall;
  QApplication app(argc, argv);
  QtWindow window;
  // While a page transfers the window keeps painting and answering the screen reader; key
  // presses wait for the event pump after the page.
  CurlFetcher fetcher({},
                      [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
  SystemClock clock;
  SynthesisedKeys ownKeys;
  const std::unique_ptr<KeySender> keySender = createKeySender(&ownKeys);
  window.setSynthesisedKeys(&ownKeys);
  Platform platform{window,
                    createVoice,
                    createScreenReader,
                    keySender.get(),
                    fetcher,
                    clock,
                    std::filesystem::read_symlink("/proc/self/exe").parent_path(),
                    std::filesystem::current_path(),
                    SKYCALL_FORECAST_HOST};
  Form1 form(platform);
  window.setEventHandler(&form);
  if (!form.start()) {
    // Without a voice nothing can be said; the terminal, at least, can tell.
    std::cerr << "skycall: start-up failed; debuglog.txt says why\n";
    window.setEventHandler(nullptr);
    return 1;
  }
  return app.exec();
}
