-- Globals shared by every script. Runs once at start-up and again on the
-- console command "globalReload", so it keeps what is already set.

-- The player objects, indexed from 1; player scripts add themselves here.
PLAYER_LIST = PLAYER_LIST or {}

-- The GUI's own sounds: hovering a button, activating one.
AddSound("MenuClick.wav", "MenuClick")
AddSound("MenuEnter.wav", "MenuEnter")

-- A menu button: dark text on a light plate that turns white under the
-- pointer; the keyboard focus draws a yellow frame inside it. Menus give
-- (x, y, height, width) in thousandths.
function MakeMenuButton(menu, x, y, text)
    local button = menu:CreateButton(x, y, 90, 260)
    button:SetFilled(1)
    button:SetColorRGBA(170, 180, 210, 255)
    button:SetBorder(2)
    button:SetFont("Arial", 32)
    button:SetText(text)
    return button
end

-- A dark plate for text, with a light border `border` pixels wide (0:
-- none), and light text; positions and sizes (x, y, height, width) in
-- thousandths of the screen, the font size in pixels.
function MakePlate(menu, x, y, height, width, border)
    local plate = menu:CreatePanel(x, y, height, width)
    plate:SetFilled(1)
    plate:SetColorRGBA(20, 24, 48, 225)
    plate:SetBorder(border)
    plate:SetBorderColorRGBA(170, 180, 210, 255)
    return plate
end
function MakeText(menu, x, y, height, width, size, text)
    local label = menu:CreateLabel(x, y, height, width)
    label:SetFont("Arial", size)
    label:SetTextColorRGBA(245, 245, 255, 255)
    label:SetText(text)
    return label
end

-- Fills the 16:9 screen with a map of w x h units whose top-left corner is
-- at (0, 0) (y points up, so the map spans y = -h to 0): the camera is kept
-- inside the map and shows all of its width, centred. A map less than
-- w / 1.78 high shows all its height with bars at the sides instead.
function FitCameraToMap(w, h)
    local camera = GetCamera()
    camera.lowerX, camera.upperX = 0, w
    camera.lowerY, camera.upperY = -h, 0
    camera:SetBounds(w, h)
    camera:SetPosition(w / 2, -h / 2)
end

-- Links buttons in a ring for pad and keyboard navigation.
function LinkFocus(buttons)
    for i, button in ipairs(buttons) do
        button:SetNextFocus(buttons[i % #buttons + 1])
        button:SetPrevFocus(buttons[(i - 2) % #buttons + 1])
    end
end

-- The pause menu: a HUD menu, so it lives across levels. Escape shows it
-- (the engine toggles the panel named "PauseMenu"); Up/Down or the pad move
-- the focus, Enter or the pad's A activates the focused button.
if not PAUSE_MENU then
    PAUSE_MENU = Menu:new()
    local panel = PAUSE_MENU:GetPanel()
    panel:SetName("PauseMenu")
    panel:SetVisible(0)
    panel:SetLayer(50)
    MakePlate(PAUSE_MENU, 500, 500, 560, 360, 3)
    MakeText(PAUSE_MENU, 500, 300, 80, 300, 40, "Paused")
    local resume = MakeMenuButton(PAUSE_MENU, 500, 420, "Resume")
    resume:SetCommand("resume")
    local main = MakeMenuButton(PAUSE_MENU, 500, 540, "Main menu")
    main:SetCommand("resume")
    main:SetCommand("level GenericTileLevel 00_Menu_Splash.tmx")
    local quit = MakeMenuButton(PAUSE_MENU, 500, 660, "Quit")
    quit:SetCommand("level QUIT_GAME")
    LinkFocus({resume, main, quit})
    panel:SetFirstFocus(resume)
    PAUSE_MENU:PushToHud()
end
