#include "ui/gtk/gtk_backend.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "ui/application.h"
#include "ui/gtk/gtk_services.h"

namespace orn {

void ForceUnitWindowScale();  // gtk_x11.cpp

namespace {

GdkPixbuf* GWindowIcon = nullptr;

// Set when posted or handed-over calls wait for the GUI thread. Not a member: the system
// services outlive the backend (see below) and may still wake the loop.
std::atomic<bool> GQueueWoken{false};

void WakeMainLoop() {
  GQueueWoken.store(true, std::memory_order_release);
  g_main_context_wakeup(nullptr);
}

TMouseButton ButtonOf(guint Button) {
  switch (Button) {
    case 2:
      return TMouseButton::mbMiddle;
    case 3:
      return TMouseButton::mbRight;
    default:
      return TMouseButton::mbLeft;
  }
}

guint GdkButtonOf(TMouseButton Button) {
  switch (Button) {
    case TMouseButton::mbMiddle:
      return 2;
    case TMouseButton::mbRight:
      return 3;
    default:
      return 1;
  }
}

TShiftState ShiftOf(guint State) {
  TShiftState S = 0;
  if (State & GDK_SHIFT_MASK) S |= ssShift;
  if (State & GDK_CONTROL_MASK) S |= ssCtrl;
  if (State & GDK_MOD1_MASK) S |= ssAlt;
  if (State & GDK_BUTTON1_MASK) S |= ssLeft;
  if (State & GDK_BUTTON2_MASK) S |= ssMiddle;
  if (State & GDK_BUTTON3_MASK) S |= ssRight;
  return S;
}

// Runs a call that came from GTK through the application's exception handling, so that no
// exception ever unwinds through C code.
template <class F>
void Guarded(F&& Call) {
  DispatchGuarded(Application(), std::forward<F>(Call));
}

}  // namespace

class TGtkBackend : public TPlatform {
 public:
  TGtkBackend();
  ~TGtkBackend() override;

  void CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& Params) override;
  void DestroyWindow(HWND Wnd) override;
  void SetWindowBounds(HWND Wnd, const TRect& Bounds) override;
  void SetWindowCaption(HWND Wnd, const std::string& Caption) override;
  void ShowWindow(HWND Wnd, bool Visible) override;
  void PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) override;
  void SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) override;
  void SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) override;
  void SetWindowTopmost(HWND Wnd, bool Topmost) override;
  void SetWindowSkipTaskbar(HWND Wnd, bool Skip) override;
  void SetWindowOwnerDesktop(HWND Wnd, bool OwnerDesktop) override;
  void SetWindowDropShadow(HWND Wnd, bool Shadow) override;
  void BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) override;
  void ReleaseCapture() override {}
  int TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X, int Y) override;
  void ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) override;
  void HideTooltip() override;
  TTimerHandle StartTimer(uint32_t Interval, std::function<void()> Tick) override;
  void StopTimer(TTimerHandle Timer) override;
  void Post(std::function<void()> Call) override;
  void RunLoop() override;
  void QuitLoop() override;
  void ProcessPending() override;
  TRect WorkArea() override;
  TPoint ScreenSize() override;
  void ShowErrorMessage(const std::string& Title, const std::string& Message) override;

 private:
  struct TWindow {
    HWND Handle = 0;
    TWindowClient* Client = nullptr;
    GtkWidget* Widget = nullptr;
    TRect Bounds;
    bool Layered = false;
    uint8_t Alpha = 255;
    // Pixels (guarded by FPixelLock): what the window shows, and the part not yet redrawn.
    cairo_surface_t* Surface = nullptr;
    TRect Dirty;
    // The button held since a press in this window (0: none), and a move drag waiting for
    // the mouse to move with it.
    guint HeldButton = 0;
    bool DragPending = false;
    TMoveDragStart Drag;
    TPoint Origin{INT32_MIN, INT32_MIN};  // last place reported or set
    // Only a window the user has moved reports its place: while the window manager maps and
    // places a new window, configure notices show places it never keeps.
    bool MovedByUser = false;
  };
  struct TTimer {
    guint Source = 0;
    std::function<void()> Tick;
  };
  struct TQueueSource {
    GSource Base;
    TGtkBackend* Backend;
  };

  TWindow* Find(HWND Wnd);
  TWindow* FindWidget(GtkWidget* Widget);
  void ApplyOpacity(TWindow& W);
  void RedrawDirty();
  bool HasQueuedWork() const;
  void RunQueued();
  void Wake();
  void EndSession();

  static gboolean QueuePrepare(GSource* Source, gint* Timeout);
  static gboolean QueueCheck(GSource* Source);
  static gboolean QueueDispatch(GSource* Source, GSourceFunc, gpointer);
  static gboolean OnDraw(GtkWidget* Widget, cairo_t* Cr, gpointer Self);
  static gboolean OnButton(GtkWidget* Widget, GdkEventButton* Event, gpointer Self);
  static gboolean OnMotion(GtkWidget* Widget, GdkEventMotion* Event, gpointer Self);
  static gboolean OnLeave(GtkWidget* Widget, GdkEventCrossing* Event, gpointer Self);
  static gboolean OnConfigure(GtkWidget* Widget, GdkEventConfigure* Event, gpointer Self);
  static gboolean OnDelete(GtkWidget* Widget, GdkEvent* Event, gpointer Self);
  static void OnRealize(GtkWidget* Widget, gpointer Self);
  static gboolean OnMap(GtkWidget* Widget, GdkEvent* Event, gpointer Self);
  static gboolean OnSignal(gpointer Self);

  // Never freed: a timer's worker that outlives its timer may still be handing a last tick
  // over while the program ends, and must find the services it waits on.
  TGtkSystemServices& FServices = *new TGtkSystemServices(&WakeMainLoop);
  TSystemServices* FPreviousServices = nullptr;
  TPlatform* FPreviousPlatform = nullptr;

  std::map<HWND, TWindow> FWindows;  // GUI thread, except the pixels (FPixelLock)
  std::mutex FPixelLock;
  bool FRedrawPosted = false;  // guarded by FPixelLock

  std::mutex FPostLock;
  std::deque<std::function<void()>> FPosted;
  GSource* FQueueSource = nullptr;

  std::map<TTimerHandle, std::shared_ptr<TTimer>> FTimers;
  TTimerHandle FNextTimer = 1;

  GMainLoop* FLoop = nullptr;
  bool FQuitAsked = false;
  guint FSignalSources[3] = {0, 0, 0};
  int FSignalsSeen = 0;

  GtkWidget* FTooltip = nullptr;
  GtkWidget* FTooltipLabel = nullptr;
};

// ---- Set-up -------------------------------------------------------------------------------

TGtkBackend::TGtkBackend() {
  static GSourceFuncs Funcs = {&TGtkBackend::QueuePrepare,
                               &TGtkBackend::QueueCheck,
                               &TGtkBackend::QueueDispatch,
                               nullptr,
                               nullptr,
                               nullptr};
  FQueueSource = g_source_new(&Funcs, sizeof(TQueueSource));
  reinterpret_cast<TQueueSource*>(FQueueSource)->Backend = this;
  // A call handed over may open a dialog whose loop must keep serving the queue.
  g_source_set_can_recurse(FQueueSource, TRUE);
  g_source_set_name(FQueueSource, "orn GUI-thread queue");
  g_source_attach(FQueueSource, nullptr);

  // The session ends with one of these signals (log-off, shutdown, a terminal closing).
  const int Signals[3] = {SIGTERM, SIGINT, SIGHUP};
  for (int I = 0; I < 3; ++I)
    FSignalSources[I] = g_unix_signal_add(Signals[I], &TGtkBackend::OnSignal, this);

  FPreviousServices = SetSystemServices(&FServices);
  FPreviousPlatform = SetPlatform(this);
}

TGtkBackend::~TGtkBackend() {
  SetPlatform(FPreviousPlatform);
  SetSystemServices(FPreviousServices);
  FServices.ReleaseClipboard();
  // Calls already handed over run now (a tick of a timer that is gone does nothing), so no
  // thread stays blocked on them.
  FServices.ProcessQueuedCalls();
  for (guint S : FSignalSources)
    if (S != 0) g_source_remove(S);
  for (auto& [H, T] : FTimers) g_source_remove(T->Source);
  FTimers.clear();
  for (auto& [H, W] : FWindows) {
    gtk_widget_destroy(W.Widget);
    if (W.Surface != nullptr) cairo_surface_destroy(W.Surface);
  }
  FWindows.clear();
  if (FTooltip != nullptr) gtk_widget_destroy(FTooltip);
  g_source_destroy(FQueueSource);
  g_source_unref(FQueueSource);
  // Run what the queue still holds is not possible any more: drop it.
  std::lock_guard<std::mutex> G(FPostLock);
  FPosted.clear();
}

TGtkBackend::TWindow* TGtkBackend::Find(HWND Wnd) {
  auto It = FWindows.find(Wnd);
  return It == FWindows.end() ? nullptr : &It->second;
}

TGtkBackend::TWindow* TGtkBackend::FindWidget(GtkWidget* Widget) {
  for (auto& [H, W] : FWindows)
    if (W.Widget == Widget) return &W;
  return nullptr;
}

// ---- The GUI-thread queue -----------------------------------------------------------------
// Posted calls and calls handed over through the system services wake the main loop through
// one source; nothing polls.

void TGtkBackend::Wake() {
  WakeMainLoop();
}

bool TGtkBackend::HasQueuedWork() const {
  return GQueueWoken.load(std::memory_order_acquire);
}

gboolean TGtkBackend::QueuePrepare(GSource* Source, gint* Timeout) {
  *Timeout = -1;
  return reinterpret_cast<TQueueSource*>(Source)->Backend->HasQueuedWork();
}

gboolean TGtkBackend::QueueCheck(GSource* Source) {
  return reinterpret_cast<TQueueSource*>(Source)->Backend->HasQueuedWork();
}

gboolean TGtkBackend::QueueDispatch(GSource* Source, GSourceFunc, gpointer) {
  reinterpret_cast<TQueueSource*>(Source)->Backend->RunQueued();
  return G_SOURCE_CONTINUE;
}

void TGtkBackend::RunQueued() {
  GQueueWoken.store(false, std::memory_order_release);
  for (;;) {
    std::function<void()> Call;
    {
      std::lock_guard<std::mutex> G(FPostLock);
      if (!FPosted.empty()) {
        Call = std::move(FPosted.front());
        FPosted.pop_front();
      }
    }
    if (Call) {
      Guarded(Call);
      continue;
    }
    if (FServices.ProcessQueuedCalls() == 0) break;
  }
}

void TGtkBackend::Post(std::function<void()> Call) {
  {
    std::lock_guard<std::mutex> G(FPostLock);
    FPosted.push_back(std::move(Call));
  }
  Wake();
}

// ---- Windows ------------------------------------------------------------------------------

void TGtkBackend::CreateWindow(HWND Wnd, TWindowClient* Client, const TWindowParams& P) {
  TWindow* Created;
  {
    // Workers presenting pixels look windows up under the pixel lock.
    std::lock_guard<std::mutex> G(FPixelLock);
    Created = &FWindows[Wnd];
  }
  TWindow& W = *Created;
  W.Handle = Wnd;
  W.Client = Client;
  W.Bounds = P.Bounds;
  W.Layered = P.Layered;
  W.Alpha = P.Alpha;
  GtkWidget* Win = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  W.Widget = Win;
  gtk_window_set_title(GTK_WINDOW(Win), P.Caption.c_str());
  gtk_window_set_decorated(GTK_WINDOW(Win), FALSE);
  gtk_widget_set_app_paintable(Win, TRUE);
  gtk_window_set_default_size(GTK_WINDOW(Win), std::max(P.Bounds.Width(), 1),
                              std::max(P.Bounds.Height(), 1));
  gtk_window_move(GTK_WINDOW(Win), P.Bounds.Left, P.Bounds.Top);
  gtk_window_set_keep_above(GTK_WINDOW(Win), P.Topmost);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(Win), P.SkipTaskbar);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(Win), P.SkipTaskbar);
  if (GWindowIcon != nullptr) gtk_window_set_icon(GTK_WINDOW(Win), GWindowIcon);
  // The drop shadow a window system draws under a shaped window has no X11 counterpart
  // (a compositor shadows the rectangular frame, not the shape), so it is not asked for.
  gtk_widget_add_events(Win, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                 GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                 GDK_STRUCTURE_MASK);
  g_signal_connect(Win, "draw", G_CALLBACK(&TGtkBackend::OnDraw), this);
  g_signal_connect(Win, "button-press-event", G_CALLBACK(&TGtkBackend::OnButton), this);
  g_signal_connect(Win, "button-release-event", G_CALLBACK(&TGtkBackend::OnButton), this);
  g_signal_connect(Win, "motion-notify-event", G_CALLBACK(&TGtkBackend::OnMotion), this);
  g_signal_connect(Win, "leave-notify-event", G_CALLBACK(&TGtkBackend::OnLeave), this);
  g_signal_connect(Win, "configure-event", G_CALLBACK(&TGtkBackend::OnConfigure), this);
  g_signal_connect(Win, "delete-event", G_CALLBACK(&TGtkBackend::OnDelete), this);
  g_signal_connect_after(Win, "realize", G_CALLBACK(&TGtkBackend::OnRealize), this);
  g_signal_connect(Win, "map-event", G_CALLBACK(&TGtkBackend::OnMap), this);
}

void TGtkBackend::DestroyWindow(HWND Wnd) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  GtkWidget* Widget = W->Widget;
  cairo_surface_t* Surface;
  {
    std::lock_guard<std::mutex> G(FPixelLock);
    Surface = W->Surface;
    FWindows.erase(Wnd);
  }
  gtk_widget_destroy(Widget);
  if (Surface != nullptr) cairo_surface_destroy(Surface);
}

void TGtkBackend::SetWindowBounds(HWND Wnd, const TRect& B) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  W->Bounds = B;
  W->Origin = TPoint{B.Left, B.Top};
  GtkWindow* Win = GTK_WINDOW(W->Widget);
  gtk_window_move(Win, B.Left, B.Top);
  gtk_window_resize(Win, std::max(B.Width(), 1), std::max(B.Height(), 1));
}

void TGtkBackend::SetWindowCaption(HWND Wnd, const std::string& Caption) {
  if (TWindow* W = Find(Wnd)) gtk_window_set_title(GTK_WINDOW(W->Widget), Caption.c_str());
}

void TGtkBackend::ShowWindow(HWND Wnd, bool Visible) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  if (Visible) {
    // The window appears where the program placed it, not where the window manager would.
    gtk_window_move(GTK_WINDOW(W->Widget), W->Bounds.Left, W->Bounds.Top);
    gtk_widget_show(W->Widget);
  } else {
    gtk_widget_hide(W->Widget);
  }
}

gboolean TGtkBackend::OnMap(GtkWidget* Widget, GdkEvent*, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWindow* W = B->FindWidget(Widget);
  // A window manager keeps a new window inside the screen when it first maps it; the program
  // may place it partly outside (below the work area, say), so the place is asked for again
  // once the window is there, which the window manager takes as it stands.
  if (W != nullptr && !W->MovedByUser)
    gtk_window_move(GTK_WINDOW(Widget), W->Bounds.Left, W->Bounds.Top);
  return FALSE;
}

void TGtkBackend::OnRealize(GtkWidget* Widget, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  if (TWindow* W = B->FindWidget(Widget)) B->ApplyOpacity(*W);
}

void TGtkBackend::ApplyOpacity(TWindow& W) {
  // The window opacity (_NET_WM_WINDOW_OPACITY) is what a compositing desktop blends with.
  GdkWindow* G = gtk_widget_get_window(W.Widget);
  if (G == nullptr) return;
  gdk_window_set_opacity(G, W.Layered ? W.Alpha / 255.0 : 1.0);
}

void TGtkBackend::SetWindowAlpha(HWND Wnd, bool Layered, uint8_t Alpha) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  W->Layered = Layered;
  W->Alpha = Alpha;
  ApplyOpacity(*W);
}

void TGtkBackend::SetWindowRegion(HWND Wnd, const std::vector<TRect>* Rects) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  if (Rects == nullptr) {
    gtk_widget_shape_combine_region(W->Widget, nullptr);
    gtk_widget_input_shape_combine_region(W->Widget, nullptr);
    return;
  }
  // The same rectangles cut what is drawn and what takes the mouse: a click on a cut-away
  // pixel goes to the window below.
  cairo_region_t* Region = cairo_region_create();
  for (const TRect& R : *Rects) {
    if (R.Width() <= 0 || R.Height() <= 0) continue;
    const cairo_rectangle_int_t C{R.Left, R.Top, R.Width(), R.Height()};
    cairo_region_union_rectangle(Region, &C);
  }
  gtk_widget_shape_combine_region(W->Widget, Region);
  gtk_widget_input_shape_combine_region(W->Widget, Region);
  cairo_region_destroy(Region);
}

void TGtkBackend::SetWindowTopmost(HWND Wnd, bool Topmost) {
  if (TWindow* W = Find(Wnd)) gtk_window_set_keep_above(GTK_WINDOW(W->Widget), Topmost);
}

void TGtkBackend::SetWindowSkipTaskbar(HWND Wnd, bool Skip) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(W->Widget), Skip);
  gtk_window_set_skip_pager_hint(GTK_WINDOW(W->Widget), Skip);
}

void TGtkBackend::SetWindowOwnerDesktop(HWND, bool) {
  // X11 has no owner window that keeps a window out of the task bar and with the desktop;
  // skip-taskbar and keep-above already give the ornament that behaviour, so the owner is
  // kept by the portable layer only.
}

void TGtkBackend::SetWindowDropShadow(HWND, bool) {
  // See CreateWindow: no shadow for a shaped window on X11.
}

// ---- Pixels -------------------------------------------------------------------------------

void TGtkBackend::PresentPixels(HWND Wnd, int Width, int Height, const uint32_t* Pixels) {
  std::lock_guard<std::mutex> G(FPixelLock);
  TWindow* W = Find(Wnd);
  if (W == nullptr || Width <= 0 || Height <= 0 || Pixels == nullptr) return;
  TRect Changed;
  if (W->Surface == nullptr || cairo_image_surface_get_width(W->Surface) != Width ||
      cairo_image_surface_get_height(W->Surface) != Height) {
    if (W->Surface != nullptr) cairo_surface_destroy(W->Surface);
    W->Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, Width, Height);
    Changed = Rect(0, 0, Width, Height);
  }
  // Cairo's 24-bit image format holds each pixel as the word 0x00RRGGBB, as presented: rows
  // are compared and copied whole, and only the changed part is redrawn.
  cairo_surface_flush(W->Surface);
  unsigned char* Data = cairo_image_surface_get_data(W->Surface);
  const int Stride = cairo_image_surface_get_stride(W->Surface);
  const size_t RowBytes = static_cast<size_t>(Width) * 4;
  int Left = Width, Right = -1, Top = Height, Bottom = -1;
  for (int Y = 0; Y < Height; ++Y) {
    auto* Row = reinterpret_cast<uint32_t*>(Data + static_cast<size_t>(Y) * Stride);
    const uint32_t* Src = Pixels + static_cast<size_t>(Y) * static_cast<size_t>(Width);
    if (std::memcmp(Row, Src, RowBytes) == 0) continue;
    int L = 0;
    while (Row[L] == Src[L]) ++L;
    int R = Width - 1;
    while (Row[R] == Src[R]) --R;
    Left = std::min(Left, L);
    Right = std::max(Right, R);
    Top = std::min(Top, Y);
    Bottom = Y;
    std::memcpy(Row, Src, RowBytes);
  }
  cairo_surface_mark_dirty(W->Surface);
  if (Bottom >= 0) {
    const TRect R = Rect(Left, Top, Right + 1, Bottom + 1);
    Changed = Changed.Width() > 0 ? Changed : R;
  }
  if (Changed.Width() <= 0) return;
  if (W->Dirty.Width() <= 0 || W->Dirty.Height() <= 0)
    W->Dirty = Changed;
  else
    W->Dirty =
        Rect(std::min(W->Dirty.Left, Changed.Left), std::min(W->Dirty.Top, Changed.Top),
             std::max(W->Dirty.Right, Changed.Right), std::max(W->Dirty.Bottom, Changed.Bottom));
  if (FRedrawPosted) return;
  FRedrawPosted = true;
  {
    std::lock_guard<std::mutex> P(FPostLock);
    FPosted.push_back([this] { RedrawDirty(); });
  }
  Wake();
}

void TGtkBackend::RedrawDirty() {
  std::lock_guard<std::mutex> G(FPixelLock);
  FRedrawPosted = false;
  for (auto& [H, W] : FWindows) {
    if (W.Dirty.Width() <= 0 || W.Dirty.Height() <= 0) continue;
    gtk_widget_queue_draw_area(W.Widget, W.Dirty.Left, W.Dirty.Top, W.Dirty.Width(),
                               W.Dirty.Height());
    W.Dirty = TRect();
  }
}

gboolean TGtkBackend::OnDraw(GtkWidget* Widget, cairo_t* Cr, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  std::lock_guard<std::mutex> G(B->FPixelLock);
  TWindow* W = B->FindWidget(Widget);
  cairo_set_operator(Cr, CAIRO_OPERATOR_SOURCE);
  if (W == nullptr || W->Surface == nullptr) {
    cairo_set_source_rgb(Cr, 0, 0, 0);
    cairo_paint(Cr);
    return TRUE;
  }
  cairo_set_source_surface(Cr, W->Surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(Cr), CAIRO_FILTER_NEAREST);
  cairo_paint(Cr);
  return TRUE;
}

// ---- Mouse and window events --------------------------------------------------------------

gboolean TGtkBackend::OnButton(GtkWidget* Widget, GdkEventButton* E, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  // A double click arrives as two presses anyway; the extra notices are not needed.
  if (E->type != GDK_BUTTON_PRESS && E->type != GDK_BUTTON_RELEASE) return TRUE;
  if (E->button < 1 || E->button > 3) return TRUE;
  TWindow* W = B->FindWidget(Widget);
  if (W == nullptr) return TRUE;
  const bool Down = E->type == GDK_BUTTON_PRESS;
  if (Down) {
    W->HeldButton = E->button;
    W->DragPending = false;
  } else {
    if (W->HeldButton != E->button) return TRUE;  // the press went to the window manager
    W->HeldButton = 0;
    W->DragPending = false;
  }
  TMouseInput In;
  In.Action = Down ? TMouseAction::maDown : TMouseAction::maUp;
  In.Button = ButtonOf(E->button);
  In.Shift = ShiftOf(E->state);
  In.X = static_cast<int>(std::floor(E->x));
  In.Y = static_cast<int>(std::floor(E->y));
  In.Screen =
      TPoint{static_cast<int>(std::floor(E->x_root)), static_cast<int>(std::floor(E->y_root))};
  In.Time = E->time;
  TWindowClient* C = W->Client;
  Guarded([&] { C->WindowMouse(In); });
  return TRUE;
}

void TGtkBackend::BeginMoveDrag(HWND Wnd, const TMoveDragStart& Start) {
  TWindow* W = Find(Wnd);
  if (W == nullptr) return;
  if (W->HeldButton == GdkButtonOf(Start.Button)) {
    // The window manager takes the mouse only once it moves with the button held: a press
    // and release on the spot stays a click of the window (a right click opens the menu).
    W->DragPending = true;
    W->Drag = Start;
    return;
  }
  W->MovedByUser = true;
  gtk_window_begin_move_drag(GTK_WINDOW(W->Widget), static_cast<gint>(GdkButtonOf(Start.Button)),
                             Start.Screen.X, Start.Screen.Y, Start.Time);
}

gboolean TGtkBackend::OnMotion(GtkWidget* Widget, GdkEventMotion* E, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWindow* W = B->FindWidget(Widget);
  if (W == nullptr) return TRUE;
  const int RootX = static_cast<int>(std::floor(E->x_root));
  const int RootY = static_cast<int>(std::floor(E->y_root));
  if (W->DragPending) {
    gint Threshold = 8;
    g_object_get(gtk_widget_get_settings(Widget), "gtk-dnd-drag-threshold", &Threshold, nullptr);
    Threshold = std::max(1, std::min(Threshold, 8));
    if (std::abs(RootX - W->Drag.Screen.X) >= Threshold ||
        std::abs(RootY - W->Drag.Screen.Y) >= Threshold) {
      // From the press point, so the window keeps the offset at which it was taken.
      W->DragPending = false;
      W->HeldButton = 0;
      W->MovedByUser = true;
      gtk_window_begin_move_drag(GTK_WINDOW(Widget), static_cast<gint>(GdkButtonOf(W->Drag.Button)),
                                 W->Drag.Screen.X, W->Drag.Screen.Y, E->time);
    }
    return TRUE;
  }
  TMouseInput In;
  In.Action = TMouseAction::maMove;
  In.Shift = ShiftOf(E->state);
  In.X = static_cast<int>(std::floor(E->x));
  In.Y = static_cast<int>(std::floor(E->y));
  In.Screen = TPoint{RootX, RootY};
  In.Time = E->time;
  TWindowClient* C = W->Client;
  Guarded([&] { C->WindowMouse(In); });
  return TRUE;
}

gboolean TGtkBackend::OnLeave(GtkWidget* Widget, GdkEventCrossing* E, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWindow* W = B->FindWidget(Widget);
  // Crossings into a grab (our menu, the window manager's move) are not the mouse leaving.
  if (W == nullptr || E->mode != GDK_CROSSING_NORMAL) return TRUE;
  TMouseInput In;
  In.Action = TMouseAction::maLeave;
  In.X = -1;
  In.Y = -1;
  In.Screen = TPoint{static_cast<int>(E->x_root), static_cast<int>(E->y_root)};
  In.Time = E->time;
  TWindowClient* C = W->Client;
  Guarded([&] { C->WindowMouse(In); });
  return TRUE;
}

gboolean TGtkBackend::OnConfigure(GtkWidget* Widget, GdkEventConfigure*, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  TWindow* W = B->FindWidget(Widget);
  GdkWindow* G = gtk_widget_get_window(Widget);
  if (W == nullptr || G == nullptr || !W->MovedByUser || !gtk_widget_get_mapped(Widget))
    return FALSE;
  // The client area's place on the screen, whatever frame the window manager put around it.
  gint X = 0, Y = 0;
  gdk_window_get_origin(G, &X, &Y);
  if (X == W->Origin.X && Y == W->Origin.Y) return FALSE;
  W->Origin = TPoint{X, Y};
  W->Bounds = Bounds(X, Y, W->Bounds.Width(), W->Bounds.Height());
  TWindowClient* C = W->Client;
  Guarded([&] { C->WindowMoved(X, Y); });
  return FALSE;
}

gboolean TGtkBackend::OnDelete(GtkWidget* Widget, GdkEvent*, gpointer Self) {
  auto* B = static_cast<TGtkBackend*>(Self);
  // The window manager's close: the form decides; the window is never destroyed here.
  if (TWindow* W = B->FindWidget(Widget)) {
    TWindowClient* C = W->Client;
    Guarded([&] { C->WindowCloseRequest(); });
  }
  return TRUE;
}

gboolean TGtkBackend::OnSignal(gpointer Self) {
  static_cast<TGtkBackend*>(Self)->EndSession();
  return G_SOURCE_CONTINUE;
}

void TGtkBackend::EndSession() {
  // A second signal while the first is still being handled ends the process at once.
  if (++FSignalsSeen > 1) std::_Exit(1);
  // Every window runs its close query (the settings are saved there), then the loop ends
  // whatever the answers: the session is going away.
  std::vector<TWindowClient*> Clients;
  for (auto& [H, W] : FWindows) Clients.push_back(W.Client);
  for (TWindowClient* C : Clients) Guarded([&] { C->WindowQueryEndSession(); });
  QuitLoop();
}

// ---- Popup menu and tooltip ---------------------------------------------------------------

namespace {

struct TMenuRun {
  GMainLoop* Loop = nullptr;
  int Chosen = -1;
};

void OnMenuActivate(GtkMenuItem* Item, gpointer Run) {
  static_cast<TMenuRun*>(Run)->Chosen =
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(Item), "orn-id"));
}

void OnMenuDone(GtkMenuShell*, gpointer Run) {
  g_main_loop_quit(static_cast<TMenuRun*>(Run)->Loop);
}

GtkWidget* BuildMenu(const std::vector<TPopupMenuEntry>& Items, TMenuRun& Run) {
  GtkWidget* Menu = gtk_menu_new();
  for (const TPopupMenuEntry& E : Items) {
    GtkWidget* Item;
    if (E.Separator) {
      Item = gtk_separator_menu_item_new();
    } else {
      if (E.Checked) {
        Item = gtk_check_menu_item_new_with_label(E.Caption.c_str());
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(Item), E.Radio);
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(Item), TRUE);
      } else {
        Item = gtk_menu_item_new_with_label(E.Caption.c_str());
      }
      GtkWidget* Label = gtk_bin_get_child(GTK_BIN(Item));
      if (E.Default && GTK_IS_LABEL(Label)) {
        gchar* Escaped = g_markup_escape_text(E.Caption.c_str(), -1);
        gchar* Markup = g_strdup_printf("<b>%s</b>", Escaped);
        gtk_label_set_markup(GTK_LABEL(Label), Markup);
        g_free(Markup);
        g_free(Escaped);
      }
      gtk_widget_set_sensitive(Item, E.Enabled);
      if (!E.Items.empty()) {
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(Item), BuildMenu(E.Items, Run));
      } else {
        g_object_set_data(G_OBJECT(Item), "orn-id", GINT_TO_POINTER(E.Id));
        g_signal_connect(Item, "activate", G_CALLBACK(OnMenuActivate), &Run);
      }
    }
    gtk_widget_set_name(Item, E.Name.c_str());
    gtk_menu_shell_append(GTK_MENU_SHELL(Menu), Item);
  }
  gtk_widget_show_all(Menu);
  return Menu;
}

}  // namespace

int TGtkBackend::TrackPopupMenu(HWND Owner, const std::vector<TPopupMenuEntry>& Items, int X,
                                int Y) {
  if (Items.empty()) return -1;
  HideTooltip();
  TMenuRun Run;
  Run.Loop = g_main_loop_new(nullptr, FALSE);
  GtkWidget* Menu = BuildMenu(Items, Run);
  g_object_ref_sink(Menu);
  g_signal_connect(Menu, "deactivate", G_CALLBACK(OnMenuDone), &Run);
  TWindow* W = Find(Owner);
  GdkEvent* Trigger = gtk_get_current_event();
  if (W != nullptr && gtk_widget_get_window(W->Widget) != nullptr) {
    GdkWindow* G = gtk_widget_get_window(W->Widget);
    gint OX = 0, OY = 0;
    gdk_window_get_origin(G, &OX, &OY);
    gtk_menu_attach_to_widget(GTK_MENU(Menu), W->Widget, nullptr);
    const GdkRectangle At{X - OX, Y - OY, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(Menu), G, &At, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST,
                           Trigger);
  } else {
    gtk_menu_popup_at_pointer(GTK_MENU(Menu), Trigger);
  }
  if (Trigger != nullptr) gdk_event_free(Trigger);
  // The loop of the menu also serves timers and the GUI-thread queue.
  if (gtk_widget_get_visible(Menu)) g_main_loop_run(Run.Loop);
  if (W != nullptr && Find(Owner) != nullptr) gtk_menu_detach(GTK_MENU(Menu));
  gtk_widget_destroy(Menu);
  g_object_unref(Menu);
  g_main_loop_unref(Run.Loop);
  return Run.Chosen;
}

void TGtkBackend::ShowTooltip(const std::vector<std::string>& Lines, int X, int Y) {
  std::string Text;
  for (size_t I = 0; I < Lines.size(); ++I) Text += (I > 0 ? "\n" : "") + Lines[I];
  if (FTooltip == nullptr) {
    FTooltip = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(FTooltip), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_style_context_add_class(gtk_widget_get_style_context(FTooltip), GTK_STYLE_CLASS_TOOLTIP);
    FTooltipLabel = gtk_label_new("");
    gtk_container_add(GTK_CONTAINER(FTooltip), FTooltipLabel);
    gtk_widget_show(FTooltipLabel);
  }
  gtk_label_set_text(GTK_LABEL(FTooltipLabel), Text.c_str());
  gtk_window_resize(GTK_WINDOW(FTooltip), 1, 1);
  // Below the mouse pointer, kept on the screen.
  GtkRequisition Size;
  gtk_widget_get_preferred_size(FTooltip, nullptr, &Size);
  const TPoint Screen = ScreenSize();
  const int Left = std::max(0, std::min(X, Screen.X - Size.width));
  int Top = Y + 20;
  if (Top + Size.height > Screen.Y) Top = std::max(0, Y - 4 - Size.height);
  gtk_window_move(GTK_WINDOW(FTooltip), Left, Top);
  gtk_widget_show(FTooltip);
}

void TGtkBackend::HideTooltip() {
  if (FTooltip != nullptr) gtk_widget_hide(FTooltip);
}

// ---- Timers and the loop ------------------------------------------------------------------

TTimerHandle TGtkBackend::StartTimer(uint32_t Interval, std::function<void()> Tick) {
  auto T = std::make_shared<TTimer>();
  T->Tick = std::move(Tick);
  const TTimerHandle H = FNextTimer++;
  auto* Held = new std::shared_ptr<TTimer>(T);
  T->Source = g_timeout_add_full(
      G_PRIORITY_DEFAULT, std::max<uint32_t>(Interval, 1),
      [](gpointer Data) -> gboolean {
        // A copy keeps the timer alive while its tick stops it.
        std::shared_ptr<TTimer> Timer = *static_cast<std::shared_ptr<TTimer>*>(Data);
        Guarded([&] { Timer->Tick(); });
        return G_SOURCE_CONTINUE;
      },
      Held, [](gpointer Data) { delete static_cast<std::shared_ptr<TTimer>*>(Data); });
  FTimers[H] = T;
  return H;
}

void TGtkBackend::StopTimer(TTimerHandle Timer) {
  auto It = FTimers.find(Timer);
  if (It == FTimers.end()) return;
  const guint Source = It->second->Source;
  FTimers.erase(It);
  g_source_remove(Source);
}

void TGtkBackend::RunLoop() {
  if (FQuitAsked) {
    FQuitAsked = false;
    return;
  }
  GMainLoop* Outer = FLoop;
  FLoop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(FLoop);
  g_main_loop_unref(FLoop);
  FLoop = Outer;
  FQuitAsked = false;
}

void TGtkBackend::QuitLoop() {
  if (FLoop != nullptr)
    g_main_loop_quit(FLoop);
  else
    FQuitAsked = true;
}

void TGtkBackend::ProcessPending() {
  for (int I = 0; I < 10000 && g_main_context_iteration(nullptr, FALSE); ++I) {
  }
}

// ---- Screen and reports -------------------------------------------------------------------

namespace {

GdkMonitor* PrimaryMonitor() {
  GdkDisplay* D = gdk_display_get_default();
  GdkMonitor* M = gdk_display_get_primary_monitor(D);
  if (M == nullptr && gdk_display_get_n_monitors(D) > 0) M = gdk_display_get_monitor(D, 0);
  return M;
}

}  // namespace

TRect TGtkBackend::WorkArea() {
  GdkMonitor* M = PrimaryMonitor();
  if (M == nullptr) return Rect(0, 0, 0, 0);
  GdkRectangle R;
  gdk_monitor_get_workarea(M, &R);
  return Bounds(R.x, R.y, R.width, R.height);
}

TPoint TGtkBackend::ScreenSize() {
  GdkMonitor* M = PrimaryMonitor();
  if (M == nullptr) return TPoint{0, 0};
  GdkRectangle R;
  gdk_monitor_get_geometry(M, &R);
  return TPoint{R.width, R.height};
}

void TGtkBackend::ShowErrorMessage(const std::string& Title, const std::string& Message) {
  std::fprintf(stderr, "%s: %s\n", Title.empty() ? program_invocation_short_name : Title.c_str(),
               Message.c_str());
  std::fflush(stderr);
  if (!FServices.IsGUIThread()) {
    Post([this, Title, Message] { ShowErrorMessage(Title, Message); });
    return;
  }
  HideTooltip();
  GtkWidget* Dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", Message.c_str());
  gtk_window_set_title(GTK_WINDOW(Dialog), Title.c_str());
  gtk_window_set_keep_above(GTK_WINDOW(Dialog), TRUE);
  gtk_window_set_position(GTK_WINDOW(Dialog), GTK_WIN_POS_CENTER);
  // Its loop keeps serving timers and the GUI-thread queue.
  gtk_dialog_run(GTK_DIALOG(Dialog));
  gtk_widget_destroy(Dialog);
}

// ---- Opening ------------------------------------------------------------------------------

std::unique_ptr<TPlatform> OpenGtkBackend(std::string& Error) {
  // Absolute window placement, shapes and window properties are X11 facilities; under
  // Wayland the program runs through XWayland.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) {
    const char* X = std::getenv("DISPLAY");
    const char* Wayland = std::getenv("WAYLAND_DISPLAY");
    if (X == nullptr || *X == '\0') {
      Error = (Wayland != nullptr && *Wayland != '\0')
                  ? "no X display: DISPLAY is not set, and only a Wayland session is running. "
                    "The ornament needs X11; enable XWayland in the desktop so that DISPLAY "
                    "is set."
                  : "no X display: DISPLAY is not set. Start the ornament from a desktop "
                    "session (or set DISPLAY to a running X server).";
    } else {
      Error = std::string("cannot open the X display DISPLAY=") + X + ".";
    }
    return nullptr;
  }
  // One window pixel is one screen pixel whatever scale the desktop asks for: the picture is
  // shown exactly as drawn.
  ForceUnitWindowScale();
  return std::make_unique<TGtkBackend>();
}

bool SetGtkWindowIcon(const std::string& ImageFile) {
  GError* E = nullptr;
  GdkPixbuf* Icon = gdk_pixbuf_new_from_file(ImageFile.c_str(), &E);
  if (Icon == nullptr) {
    if (E != nullptr) g_error_free(E);
    return false;
  }
  if (GWindowIcon != nullptr) g_object_unref(GWindowIcon);
  GWindowIcon = Icon;
  return true;
}

}  // namespace orn
