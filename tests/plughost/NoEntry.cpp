// A loadable library that is not a plugin module: it exports no plugMain.
extern "C" __attribute__((visibility("default"))) int NotAPluginEntry() {
  return 0;
}
