/* A Firebird client library of the other bitness than the build's: what a user has when the
 * product's fbclient.dll does not match the installer. It is never loaded, only refused. */
__declspec(dllexport) int isc_attach_database(void) {
    return 0;
}
