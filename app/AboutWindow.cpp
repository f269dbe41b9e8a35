#include "app/AboutWindow.h"

#include "app/Window1.h"
#include "framework/files/RegularFile.h"
#include "framework/files/SpecialFolder.h"
#include "framework/windows/Cursors.h"

AboutWindow& AboutWindow::instance() { return framework::implicitInstance<AboutWindow>(); }

framework::Label& AboutWindow::Label1() { return control<framework::Label>("Label1"); }
framework::Label& AboutWindow::Label2() { return control<framework::Label>("Label2"); }
framework::Label& AboutWindow::Label3() { return control<framework::Label>("Label3"); }
framework::Label& AboutWindow::Label4() { return control<framework::Label>("Label4"); }
framework::Label& AboutWindow::Label5() { return control<framework::Label>("Label5"); }

void AboutWindow::Layout() {
  setTitle("ルメノについて");
  setWidth(310);
  setHeight(94);
  setMinSize(64, 64);
  setMaxSize(32000, 32000);
  setHasBackColor(true);
  setBackColor(0xFFFFFF);
  setCloseButton(true);
  setResizeable(false);
  setMaximizeButton(false);
  setMinimizeButton(false);
  setVisible(true);
  // Placed over the main window by the window manager.
  setTransientParent(framework::openInstance<Window1>());
  setCloseOnEscape(true);
}

void AboutWindow::CreateControls() { CreateControls0(); }

namespace {

void setUpLabel(framework::Label& c, double size, int left, int top, int width, int height,
                const char* text, std::uint32_t color, bool underline) {
  c.setTextSize(size);
  c.setTextUnit(0);
  c.setBounds(left, top, width, height);
  c.setLocks(false, false, false, false);
  c.setText(text);
  c.setTextColor(color);
  c.setUnderline(underline);
  c.setMultiline(false);
  c.setTabStop(true);
}

}  // namespace

void AboutWindow::CreateControls0() {
  setUpLabel(addControl<framework::Label>("Label1"), 12, 7, 14, 182, 20, "「ルメノ ver.1.3」", 0xCF2600,
             false);
  setUpLabel(addControl<framework::Label>("Label2"), 10, 201, 14, 99, 20, "2006.3.1 ルメノ", 0x000000,
             false);
  setUpLabel(addControl<framework::Label>("Label3"), 10, 29, 46, 124, 17, "バグ報告・ご要望等あれば",
             0x000000, false);
  auto& link = addControl<framework::Label>("Label4");
  setUpLabel(link, 10, 29, 62, 214, 20, "https://lumeno.example.jp/", 0xCF2600, true);
  link.MouseEnter = [this, &link] { Label4_MouseEnter(link); };
  link.MouseDown = [this, &link](int x, int y) { return Label4_MouseDown(link, x, y); };
  setUpLabel(addControl<framework::Label>("Label5"), 10, 242, 62, 37, 20, "まで＊", 0x000000, false);
}

void AboutWindow::Event_Open() {
  setTop(100);
  setLeft(100);
}

void AboutWindow::Label4_MouseEnter(framework::Label& label) {
  label.setMouseCursor(framework::ResourceCursor(128));
}

bool AboutWindow::Label4_MouseDown(framework::Label&, int, int) {
  // Only a real file is handed to the desktop: a pipe or a device in its place could hang the handler.
  auto item = framework::GetFolderItem("tavikurl");
  if (item && framework::IsRegularFile(item->Path())) item->Launch(true);
  return true;
}
