# What the skin library carries: every bitmap and cursor (each at 1x and 2x) the program reads.
set(DRAVIK_SKIN_BITMAPS
  DVKpanel1 DVKmain1 TitleBrevon TitleDV
  MenuM-out MenuM-down MenuM-over
  RecM-out RecM-down RecM-over RecPauseM-out RecPauseM-down RecPauseM-over
  RecStopM-out RecStopM-down RecStopM-over PlayStopM-out PlayStopM-down PlayStopM-over
  PlayM-out PlayM-down PlayM-over PlayPauseM-out PlayPauseM-down PlayPauseM-over
  SaveM-out SaveM-down SaveM-over CUTSAVEM-OUT CUTSAVEM-DOWN CUTSAVEM-OVER
  OpenM-out OpenM-down OpenM-over CloseM-out CloseM-down CloseM-over
  HelpM-out HelpM-down HelpM-over PanelM-out PanelM-down PanelM-over
  SettingM-out SettingM-down SettingM-over MinimiseM-out MinimiseM-down MinimiseM-over
  ExitM-out ExitM-down ExitM-over
  VUMETER HLEVELS CLIPLAMP DISPLAY0 Thumbchannel Thumb VOXCHANNEL VOXTHUMB)
set(DRAVIK_SKIN_CURSORS CURSOR1 CURSOR2 GUIHAND FINGER)
set(DRAVIK_ICON_SIZES 16 22 24 32 48 64 128 256)
