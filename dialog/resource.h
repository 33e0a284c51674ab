/*
 * Ids of the configuration dialog and its controls, shared by the resource
 * script and the dialog procedure.
 */
#ifndef PENDRA_DIALOG_RESOURCE_H
#define PENDRA_DIALOG_RESOURCE_H

#define IDD_PENDRA_CONFIG 101

/* Buttons at the bottom right. */
#define IDC_PREVIEW 3
#define IDC_HELP_PAGE 9

/* Logo bitmaps. */
#define IDC_ALPHA_VALUE 1002
#define IDC_BITMAP_PATH 1008
#define IDC_BROWSE 1009
#define IDC_BLACK_KEY 1035
#define IDC_WHITE_KEY 1036
#define IDC_MASK_KEY 1037
#define IDC_WHITE_LEVEL 1039
#define IDC_ALPHA 1043

/* Space and time. */
#define IDC_START 1003
#define IDC_FADE_OUT 1006
#define IDC_END 1010
#define IDC_FADE_IN 1011
#define IDC_Y 1012
#define IDC_X 1013
#define IDC_Y_VALUE 1014
#define IDC_X_VALUE 1015
#define IDC_Y_MINUS 1016
#define IDC_Y_PLUS 1017
#define IDC_X_MINUS 1018
#define IDC_X_PLUS 1019

/* Gradient and blur. */
#define IDC_BITMAP_BLUR 1023
#define IDC_FEATHER 1024
#define IDC_T1 1025
#define IDC_T2 1026
#define IDC_T3 1027
#define IDC_B2 1028
#define IDC_B3 1029
#define IDC_ZERO 1040
#define IDC_DEFAULTS 1041

/* Other. */
#define IDC_DEBUG 1020
#define IDC_SCENE 1022
#define IDC_SIDE_N 1030
#define IDC_SIDE_E 1031
#define IDC_SIDE_S 1032
#define IDC_SIDE_W 1033
#define IDC_SIDE_NONE 1034
#define IDC_NOISE 1038

#endif
