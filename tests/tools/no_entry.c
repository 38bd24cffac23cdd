/* A loadable library that is not a plug-in: it exports no entry. */
__attribute__((visibility("default"))) int halvorine_test_not_an_entry(void) { return 42; }
