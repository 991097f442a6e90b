// Renders the plugin's Windows dialogs for review: loads zelvane_info.dll
// as the host does, opens the settings dialog (Config) and the retry prompt
// (Init with launching on and a missing executable), and saves each window,
// frame and all, as a 24-bit BMP file taken from the screen.
//   render_windows.exe DLL OUT_PREFIX DOCUMENTS
// writes OUT_PREFIX-dialog.bmp and OUT_PREFIX-prompt.bmp. The user's
// documents folder is DOCUMENTS meanwhile (set in the registry and put back
// afterwards); its Lumora3.ini decides what the dialog shows. Built and run by
// scripts/render-windows-dialogs.sh.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "zelvane_info.h"

namespace {

HWND WaitForWindow(const wchar_t* window_class, const wchar_t* caption) {
  for (int i = 0; i < 1000; ++i) {
    if (HWND window = FindWindowW(window_class, caption)) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

// Copies the window's screen area into a bottom-up 24-bit BMP file.
bool SaveWindow(HWND window, const std::string& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  std::printf("%s: %dx%d at %ld,%ld\n", path.c_str(), width, height, rect.left, rect.top);
  return static_cast<bool>(out);
}

}  // namespace

const wchar_t* const kShellFolders =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_windows DLL OUT_PREFIX DOCUMENTS\n");
    return 2;
  }
  const std::string prefix = argv[2];
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_SET_VALUE,
                  nullptr, &key, nullptr);
  wchar_t saved[1024] = {};
  DWORD saved_size = sizeof saved - sizeof(wchar_t);
  DWORD saved_type = 0;
  const bool had_value = RegQueryValueExW(key, L"Personal", nullptr, &saved_type,
                                          reinterpret_cast<BYTE*>(saved), &saved_size) == 0;
  RegSetValueExA(key, "Personal", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[3]),
                 static_cast<DWORD>(std::string(argv[3]).size() + 1));
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == nullptr) return 1;
  auto get_plugin = reinterpret_cast<GetPluginFunc>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "getPlugin")));
  PluginInfo* info = get_plugin();

  // Init first, as the host does: it loads the settings that the dialog
  // then shows. Its retry prompt (launching on, executable missing) is
  // saved, then answered No.
  std::atomic<bool> init_done{false};
  std::thread prompt_user([&] {
    HWND box = nullptr;
    while (box == nullptr && !init_done) {
      box = FindWindowW(L"#32770", L"Error");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (box == nullptr) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    SaveWindow(box, prefix + "-prompt.bmp");
    PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  });
  const int32_t result = info->Init();
  init_done = true;
  prompt_user.join();
  std::printf("Init returned %d\n", result);

  // The dialog: saved once drawn, then closed with its close box.
  std::thread dialog_user([&] {
    HWND dialog = WaitForWindow(L"#32770", L"Zelvane settings...");
    if (dialog == nullptr) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    SaveWindow(dialog, prefix + "-dialog.bmp");
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  info->Config();
  dialog_user.join();

  if (had_value) {
    RegSetValueExW(key, L"Personal", 0, saved_type, reinterpret_cast<const BYTE*>(saved),
                   saved_size);
  } else {
    RegDeleteValueW(key, L"Personal");
  }
  RegCloseKey(key);
  return 0;
}
