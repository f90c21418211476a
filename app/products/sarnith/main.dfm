object frmMain: TfrmMain
  Left = 518
  Top = 205
  BorderIcons = []
  BorderStyle = bsNone
  AlphaBlend = True
  AlphaBlendValue = 225
  Caption = 'Tolvane'
  ClientHeight = 223
  ClientWidth = 182
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Font.Style = []
  OldCreateOrder = False
  Position = poDefault
  OnCloseQuery = FormCloseQuery
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object Gif: TGIFAnimator
    Left = 0
    Top = 0
    Width = 190
    Height = 225
    Animate = True
    FrameIndex = 8
    Image.Data = {@PICTURE@}
    ParentShowHint = False
    PopupMenu = PopupMenu
    ShowHint = True
    Stretch = True
    OnMouseDown = GifMouseDown
  end
  object Image1: TImage
    Left = 192
    Top = 0
    Width = 190
    Height = 225
    AutoSize = True
    Picture.Data = {@MASK@}
  end
  object PopupMenu: TPopupMenu
    object pmiAbout: TMenuItem
      Caption = 'About...'
      Default = True
      OnClick = pmiAboutClick
    end
    object pmiDownload: TMenuItem
      Caption = 'Download'
      object Software1: TMenuItem
        Caption = '                      >>> Software <<<'
        Enabled = False
      end
      object N3: TMenuItem
        Caption = '-'
      end
      object pmiTickframe: TMenuItem
        Caption = 'Quartzbell'
        OnClick = pmiTickframeClick
      end
      object pmiClockInfo: TMenuItem
        Caption = 'Quartzbell: the desktop clock that chimes the hours'
        OnClick = pmiClockInfoClick
      end
    end
    object N1: TMenuItem
      Caption = '-'
    end
    object ransparent1: TMenuItem
      Caption = 'Transparent'
      object pmi0: TMenuItem
        AutoCheck = True
        Caption = '0%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi0Click
      end
      object pmi10: TMenuItem
        AutoCheck = True
        Caption = '10%'
        Checked = True
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi10Click
      end
      object pmi20: TMenuItem
        AutoCheck = True
        Caption = '20%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi20Click
      end
      object pmi30: TMenuItem
        AutoCheck = True
        Caption = '30%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi30Click
      end
      object pmi40: TMenuItem
        AutoCheck = True
        Caption = '40%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi40Click
      end
      object pmi50: TMenuItem
        AutoCheck = True
        Caption = '50%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi50Click
      end
      object pmi60: TMenuItem
        AutoCheck = True
        Caption = '60%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi60Click
      end
      object pmi70: TMenuItem
        AutoCheck = True
        Caption = '70%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi70Click
      end
      object pmi80: TMenuItem
        AutoCheck = True
        Caption = '80%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi80Click
      end
      object pmi90: TMenuItem
        AutoCheck = True
        Caption = '90%'
        GroupIndex = 1
        RadioItem = True
        OnClick = pmi90Click
      end
    end
    object pmiOnTop: TMenuItem
      AutoCheck = True
      Caption = 'OnTop'
      Checked = True
      OnClick = pmiOnTopClick
    end
    object pmiStartUp: TMenuItem
      AutoCheck = True
      Caption = 'StartUp'
      Checked = True
    end
    object pmiAdd: TMenuItem
      Caption = 'Add Xmas tree'
      OnClick = pmiAddClick
    end
    object N2: TMenuItem
      Caption = '-'
    end
    object pmiExit: TMenuItem
      Caption = 'Exit'
      OnClick = pmiExitClick
    end
  end
  object Timer: TTimer
    Interval = 65555
    OnTimer = TimerTimer
  end
end
