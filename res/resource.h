/* Resource ids of the main dialog; read by the resource compiler and C++. */
#ifndef PULLDEX_RESOURCE_H
#define PULLDEX_RESOURCE_H

#define IDD_MAIN 101

#define IDC_OPEN 1000
#define IDC_EXPORT_SCRIPT 1001
#define IDC_REMOVE_COPY 1002
#define IDC_PATH 1003
#define IDC_IMPORT_SFS 1004
#define IDC_EXPORT_SFS 1005

#endif
