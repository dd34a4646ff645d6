// A loadable library that is no component: it exports none of the component entries.
extern "C" int AutomationTestBareMarker() {
    return 7;
}
