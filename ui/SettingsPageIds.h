// Control ids of the settings sheet's five pages, shared by ui/SettingsPages.rc and the page
// procedures. The codec and script pages both use 1007/1008 and 1014; the output and PeerCast
// pages both use 1010/1025: each pair lives on one page at a time.
#pragma once

// Audio codec page (103) and the shared buffer window and language controls.
#define IDC_CODEC_LIST 1005
#define IDC_FORMAT_LIST 1006
#define IDC_BUFFER_WINDOW 1007
#define IDC_BUFFER_WINDOW_SPIN 1008
#define IDC_LANGUAGE_LIST 1014

// Output page (104); the port pair is shared with the PeerCast page.
#define IDC_PORT 1010
#define IDC_PORT_SPIN 1025
#define IDC_MAX_CLIENT 1015
#define IDC_MAX_CLIENT_SPIN 1021
#define IDC_PLAY_LOG_ENABLE 1047
#define IDC_PLAY_LOG_PATH 1048
#define IDC_PLAY_LOG_BROWSE 1049
#define IDC_ARCHIVE_ENABLE 1061
#define IDC_ARCHIVE_FOLDER 1062
#define IDC_ARCHIVE_BROWSE 1063
#define IDC_PORT_MAPPING 1067

// Attributes page (105).
#define IDC_ATTRIBUTE_TITLE 1027
#define IDC_ATTRIBUTE_AUTHOR 1009
#define IDC_ATTRIBUTE_ALBUM 1024
#define IDC_ATTRIBUTE_COMPOSER 1013
#define IDC_ATTRIBUTE_GENRE 1022
#define IDC_ATTRIBUTE_COPYRIGHT 1011
#define IDC_ATTRIBUTE_DESCRIPTION 1016

// Script page (107).
#define IDC_SCRIPT_ENABLE 1036
#define IDC_SCRIPT_BITRATE 1012
#define IDC_SCRIPT_BITRATE_SPIN 1023
#define IDC_SCRIPT_FORMAT 1039

// PeerCast page (106).
#define IDC_PEERCAST_ENABLE 1033
#define IDC_PEERCAST_CHANNEL 1031
#define IDC_PEERCAST_ARTIST 1042
#define IDC_PEERCAST_TITLE 1040
#define IDC_PEERCAST_ALBUM 1041
#define IDC_PEERCAST_RELAY 1050
#define IDC_PEERCAST_CONTACT 1051
#define IDC_PEERCAST_RELAY_IPV6 1068
