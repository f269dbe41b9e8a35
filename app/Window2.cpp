#include "app/Window2.h"

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/files/KindText.h"
#include "framework/files/Volumes.h"
#include "framework/streams/MemoryBlock.h"
#include "framework/threads/Thread.h"

namespace {
const char* const kNewPrompt = "リストを作成するディスクを選んでください";
const char* const kUpdatePrompt = "更新するディスクを選んでください";
}  // namespace

Window2& Window2::instance() { return framework::implicitInstance<Window2>(); }

framework::Label& Window2::Label1() { return control<framework::Label>("Label1"); }
framework::PushButton& Window2::PushButton1() { return control<framework::PushButton>("PushButton1"); }
framework::Listbox& Window2::Listbox1() { return control<framework::Listbox>("Listbox1"); }
framework::PushButton& Window2::PushButton2() { return control<framework::PushButton>("PushButton2"); }
framework::Label& Window2::Label2() { return control<framework::Label>("Label2"); }

void Window2::Layout() {
  setWidth(367);
  setHeight(315);
  setMinSize(64, 64);
  setMaxSize(32000, 32000);
  setHasBackColor(true);
  setBackColor(0xFFFFFF);
  setTitle("ディスクの選択");
  setVisible(true);
  setCloseButton(true);
  setResizeable(false);
  setMaximizeButton(false);
  setMinimizeButton(false);
  // Placed over the main window by the window manager.
  setTransientParent(framework::openInstance<Window1>());
}

void Window2::CreateControls() { CreateControls0(); }

void Window2::CreateControls0() {
  auto& label1 = addControl<framework::Label>("Label1");
  label1.setTextSize(10);
  label1.setBounds(20, 15, 218, 19);
  label1.setLocks(false, false, false, false);
  label1.setText(kNewPrompt);

  auto& create = addControl<framework::PushButton>("PushButton1");
  create.setTextSize(12);
  create.setBounds(250, 275, 89, 20);
  create.setLocks(false, false, false, false);
  create.setCaption("リスト作成");
  create.setDefault(true);
  create.setCancel(false);
  create.setTabStop(true);
  create.Action = [this] { PushButton1_Action(); };

  auto& list = addControl<framework::Listbox>("Listbox1");
  list.setBounds(21, 41, 326, 175);
  list.setLocks(true, true, false, false);
  list.setColumnCount(1);
  list.setHasHeading(false);
  list.setHierarchical(false);
  list.setColumnsResizable(false);
  list.setInitialValue(" ");
  list.setTabStop(true);

  auto& cancel = addControl<framework::PushButton>("PushButton2");
  cancel.setBounds(144, 275, 87, 20);
  cancel.setLocks(true, true, false, false);
  cancel.setCaption("キャンセル");
  cancel.setDefault(false);
  cancel.setCancel(true);
  cancel.setTabStop(true);
  cancel.Action = [this] { PushButton2_Action(); };

  auto& label2 = addControl<framework::Label>("Label2");
  label2.setTextSize(10);
  label2.setBounds(20, 230, 327, 33);
  label2.setLocks(false, false, false, false);
  label2.setMultiline(true);
  label2.setText("※ハードディスク等容量の大きなものをリスト化すると延々時間がかかりますのでご注意ください。");
}

void Window2::Event_Open() {
  if (Module1::PB == 0) {
    Label1().setText(kNewPrompt);
  } else if (Module1::PB == 1) {
    Label1().setText(kUpdatePrompt);
  }

  // The kind texts come from the MIME database, whose first lookup loads it: done now, while the
  // user chooses, rather than as a pause at the start of the read.
  {
    auto warm = framework::NewMemoryBlock(64);
    framework::GetDocumentKindString(framework::FolderItem("/lumeno.txt"), warm);
  }

  const int n = framework::VolumeCount();
  for (int i = 1; i < n; ++i) {
    // A volume unmounted while the list fills is not offered.
    if (auto volume = framework::Volume(i)) {
      Listbox1().InsertRow(0, volume->Name(), 0);
      offered_.insert(offered_.begin(), Offered{volume->Path(), i});
    }
    framework::Yield();
  }
}

int Window2::volumeOfRow(int row) const {
  const int count = framework::VolumeCount();
  if (row < 0) return count;
  if (row >= static_cast<int>(offered_.size())) return 0;  // the blank row
  // Volumes may have come and gone since Open: the row names its volume by mount point, and a
  // volume that is gone gives an index that names none, so nothing is read.
  const Offered& o = offered_[row];
  if (auto same = framework::Volume(o.index); same && same->Path() == o.path) return o.index;
  for (int i = 1; i < count; ++i)
    if (auto v = framework::Volume(i); v && v->Path() == o.path) return i;
  return count;
}

void Window2::PushButton1_Action() {
  // One change of the catalogue at a time: the chooser stays open for a later try.
  if (Module1::RefusedWithoutCatalogue(true) || Class1::RefusedWhileReading()) return;
  auto& main = Window1::instance();
  main.CDName = main.UTF8Mac(Listbox1().Text());
  Module1::VolNo = volumeOfRow(Listbox1().ListIndex());
  Close();
  std::make_shared<Class1>()->Run();
}

void Window2::PushButton2_Action() { instance().Close(); }
