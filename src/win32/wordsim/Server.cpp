#include <windows.h>

extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() {
  return S_FALSE;
}
