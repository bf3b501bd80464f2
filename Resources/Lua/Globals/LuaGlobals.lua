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
    local plate = PAUSE_MENU:CreatePanel(500, 500, 560, 360)
    plate:SetFilled(1)
    plate:SetColorRGBA(20, 24, 48, 220)
    plate:SetBorder(3)
    plate:SetBorderColorRGBA(170, 180, 210, 255)
    local title = PAUSE_MENU:CreateLabel(500, 300, 80, 300)
    title:SetFont("Arial", 40)
    title:SetTextColorRGBA(240, 240, 255, 255)
    title:SetText("Paused")
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
